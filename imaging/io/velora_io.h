// TVeloraIO: the component through which every image is read from and written to files and
// streams. It owns a parameter record, has one target bitmap (given directly or taken from an
// attached view), recognises formats by content and extension and dispatches to the codecs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "base/vl_types.h"
#include "io_params.h"
#include "base/progress.h"
#include "base/vl_stream.h"

namespace velora {

class TVLViewLink;
struct TVLFormatDescriptor;

// An entry of the format registry. Built-in formats have no procedures: they are dispatched
// directly; external formats appended to the registry bring their own.
using TVLReadProc = void (*)(TVLStream& stream, TBitmap* bitmap, TIOParamsVals& params, bool headerOnly,
                             TVLProgressRecord& progress);
using TVLWriteProc = void (*)(TVLStream& stream, TBitmap& bitmap, TIOParamsVals& params, TVLProgressRecord& progress);
using TVLTestProc = bool (*)(TVLStream& stream);

struct TFileFormatInfo {
  int32_t FileType = 0;
  std::string FullName;    // at most 80 characters
  std::string Extensions;  // without dots, separated by ";"
  TVLReadProc ReadProc = nullptr;
  TVLWriteProc WriteProc = nullptr;
  TVLTestProc TestProc = nullptr;
};

// The global registry: the twelve built-in formats in identifier order 1..12, then any
// external ones appended by the program.
std::vector<TFileFormatInfo>& FileFormats();
// The registry entry listing `extension` (without the dot, any case), or nullptr.
const TFileFormatInfo* FindFileFormatByExtension(const std::string& extension);
const TFileFormatInfo* FindFileFormat(int32_t fileType);
// External formats join the registry here (texts cut to 80 characters) and may leave it again;
// the built-in entries stay. Every read walks the registry without a lock, so, like the coder
// slots (io_params.h), it is changed only at start, before anything reads on another thread.
void RegisterFileFormat(const TFileFormatInfo& info);
void UnregisterFileFormat(int32_t fileType);

enum class TVLDialogsMeasureUnit { vlduInches, vlduCm };

class TVeloraIO : public TVLObject {
 public:
  TVeloraIO();
  ~TVeloraIO() override;
  TVeloraIO(const TVeloraIO&) = delete;
  TVeloraIO& operator=(const TVeloraIO&) = delete;

  // ---- attachment
  TBitmap* GetTarget() const { return Target_; }
  TVLMask* GetAlphaMask() const { return AlphaMask_; }
  TVLViewLink* AttachedVelora() const { return AttachedVelora_; }
  void SetAttachedVelora(TVLViewLink* view);
  void AttachBitmap(TBitmap* bitmap);
  // Readers that know transparency write here when set; a caller without a view may give one.
  void SetAlphaMask(TVLMask* mask) { AlphaMask_ = mask; }

  // ---- settings
  TColor Background() const;
  void SetBackground(TColor colour);
  bool StreamHeaders = false;
  bool AutoAdjustDPI = true;
  TVLDialogsMeasureUnit DialogsMeasureUnit = TVLDialogsMeasureUnit::vlduInches;
  TVLProgressEvent OnProgress;
  TIOParamsVals& Params() { return Params_; }
  const TIOParamsVals& Params() const { return Params_; }
  bool Aborting = false;
  // Why the last operation failed, in a few words ("PCX: 16000 x 16000 declared, 300 bytes
  // follow"); empty when it did not fail or no reason is known. A header-only read that
  // ends with FileType 0 says here why, also where Aborting stays false (an unrecognised file).
  std::string AbortReason;

  void AssignIOParams(const TVeloraIO& source) { Params_.AssignParams(source.Params_); }
  void AssignIOParams(const TIOParamsVals& source) { Params_.AssignParams(source); }

  // ---- reading, writing, detection
  void LoadFromFile(const std::string& name);
  void LoadFromFileFormat(const std::string& name, int32_t fileType);
  void LoadFromStream(TVLStream& stream);
  void LoadFromStreamFormat(TVLStream& stream, int32_t fileType);
  void SaveToFile(const std::string& name);
  void SaveToStream(TVLStream& stream, int32_t fileType);
  // Adds Target as a page to the file `name` (the format by its extension: one whose files
  // hold pages) at Params' page index, TiffImageIndex; an index past the last page appends.
  // A missing or empty file is written new. Returns the pages the file has afterwards, 0 when
  // it failed (Aborting, with the reason).
  int InsertToFile(const std::string& name);
  void ReadParamsFromFile(const std::string& name);
  void ReadParamsFromFileFormat(const std::string& name, int32_t fileType);
  void ReadParamsFromStream(TVLStream& stream);
  void ReadParamsFromStreamFormat(TVLStream& stream, int32_t fileType);
  void ImportMetafile(const std::string& name, int width, int height);
  int32_t DetectStreamFormat(TVLStream& stream);
  int32_t DetectFileFormat(const std::string& name, bool verify);

  // Resamples Target (and the alpha mask) so that DpiX = DpiY; run after reads when AutoAdjustDPI.
  void EqualizeDpi();

 private:
  void LeaveView();
  // The background as pixels: a system colour resolved by the attached view.
  TRGB BackgroundPixel() const;
  void ClearAborting() {
    Aborting = false;
    AbortReason.clear();
  }
  // The front's own refusals: Aborting with the reason, unless one is already known.
  void Fail(const std::string& reason) { MakeProgress(false).Fail(reason); }
  TVLProgressRecord MakeProgress(bool withEvent = true);
  void RefreshTarget();

  // The per-format forms behind the generic operations.
  void LoadBuiltinFile(const std::string& name, const TVLFormatDescriptor& format);
  void LoadBuiltinStream(TVLStream& stream, const TVLFormatDescriptor& format);
  void LoadExternalFormat(const std::string& name, TVLStream* stream, int32_t fileType);
  void LoadExternal(const std::string& name, TVLStream* stream, const TFileFormatInfo* entry);
  // Runs a built-in reader at the stream's position with the stream-header rule of its
  // format; false when a stream header was required and wrong (nothing was read).
  bool CallReader(TVLStream& stream, const TVLFormatDescriptor& format, bool fileForm, bool headerOnly,
                  TVLProgressRecord& progress);
  // Passes a stream header by the format's rule: size and resumeAt take its data length and
  // where that data ends; false (and failed) when a required header is wrong.
  bool SkipStreamHeader(TVLStream& stream, const TVLFormatDescriptor& format, int64_t& size, int64_t& resumeAt);
  // The steps after a built-in reader has run: resolution, alpha, Params, view.
  void FinishRead(const TVLFormatDescriptor& format, const std::string& name, bool fileForm);
  void KeepTargetConsistent();
  void ResetAlpha();
  void SaveBuiltinFile(const std::string& name, const TVLFormatDescriptor& format);
  void CallWriter(TVLStream& stream, const TVLFormatDescriptor& format, bool fileForm);
  void SaveExternal(const std::string& name, TVLStream* stream, const TFileFormatInfo* entry);
  void ReadParamsDispatch(TVLStream& stream, int32_t fileType, bool fileForm);
  // The two halves of DetectFileFormat; why says what made the answer 0.
  int32_t DetectContent(const std::string& name, std::string& why);
  int32_t DetectVerified(const std::string& name, std::string& why);
  // The format a file named for `named` is read as: its content's when the named format's
  // own test refuses the content and another format's takes it.
  const TVLFormatDescriptor& FormatToRead(const std::string& name, const TVLFormatDescriptor& named);

  TBitmap* Target_ = nullptr;
  TVLMask* AlphaMask_ = nullptr;
  TVLViewLink* AttachedVelora_ = nullptr;
  int viewListenerId_ = 0;
  TColor OwnBackground_ = clBlack;
  TIOParamsVals Params_;
};

}  // namespace velora
