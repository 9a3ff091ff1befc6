// TVelora: an image view that owns an I/O and a processing component attached to itself, and
// forwards their settings and operations, so that one control loads, shows and processes.
#pragma once
#include "view/qt/velora_view.h"

namespace velora {

class TVLFtImage;

class TVelora : public TVeloraView {
  Q_OBJECT

 public:
  explicit TVelora(QWidget* parent = nullptr);

  // ---- forwarded settings
  bool AutoUndo() const { return Proc().AutoUndo; }
  void SetAutoUndo(bool value) { Proc().AutoUndo = value; }
  const TVLProgressEvent& OnProgress() const { return Proc().OnProgress; }
  void SetOnProgress(const TVLProgressEvent& event) {
    Proc().OnProgress = event;
    IO().OnProgress = event;
  }
  TMsgLanguage MsgLanguage() const { return Proc().MsgLanguage; }
  void SetMsgLanguage(TMsgLanguage language) { Proc().MsgLanguage = language; }
  TPRPreviewsParams ProcPreviewsParams() const { return Proc().PreviewsParams; }
  void SetProcPreviewsParams(TPRPreviewsParams params) { Proc().PreviewsParams = params; }
  const TVLFont& PreviewFont() const { return Proc().PreviewFont(); }
  void SetPreviewFont(const TVLFont& font) { Proc().SetPreviewFont(font); }
  bool StreamHeaders() const { return IO().StreamHeaders; }
  void SetStreamHeaders(bool value) { IO().StreamHeaders = value; }
  TVLDialogsMeasureUnit DialogsMeasureUnit() const { return IO().DialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TVLDialogsMeasureUnit unit) { IO().DialogsMeasureUnit = unit; }
  void SetOnPreview(const TVLPreviewEvent& event) { Proc().OnPreview = event; }

  // ---- forwarded operations
  void PushUndo() { Proc().PushUndo(); }
  void RestoreUndo() { Proc().RestoreUndo(); }
  void SetUndoLocation(TVLStorageLocation location) { Proc().SetUndoLocation(location); }
  bool RotateImage(bool antialias, double angle) { return Proc().RotateImage(antialias, angle); }
  bool FlipImage(int direction) { return Proc().FlipImage(direction); }
  void WriteFtInverse(TVLFtImage& ft) { Proc().WriteFtInverse(ft); }
  TIOParamsVals& IOParams() { return IO().Params(); }
  void LoadFromFile(const std::string& name) { IO().LoadFromFile(name); }
  void SaveToFile(const std::string& name) { IO().SaveToFile(name); }
  void ReadParamsFromFile(const std::string& name) { IO().ReadParamsFromFile(name); }
  void ReadParamsFromFileFormat(const std::string& name, int32_t fileType) {
    IO().ReadParamsFromFileFormat(name, fileType);
  }
  void ReadParamsFromStream(TVLStream& stream) { IO().ReadParamsFromStream(stream); }
  void ReadParamsFromStreamFormat(TVLStream& stream, int32_t fileType) {
    IO().ReadParamsFromStreamFormat(stream, fileType);
  }
  // The I/O parameters of `source`, then the picture.
  void Assign(TVelora* source);

  TVeloraProc& Proc() const { return *Proc_; }
  TVeloraIO& IO() const { return *IO_; }

 private:
  TVeloraProc* Proc_;
  TVeloraIO* IO_;
};

}  // namespace velora
