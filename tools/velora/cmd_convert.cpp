// velora convert IN OUT: LoadFromFile(IN), then SaveToFile(OUT); formats by extension.
#include <exception>

#include "bitmap/vl_mask.h"
#include "commands.h"
#include "image_job.h"
#include "io/velora_io.h"

namespace velora::tool {

int CmdConvert(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    Complain("usage: velora convert IN OUT");
    return kExitUsage;
  }
  const std::string& in = args[0];
  const std::string& out = args[1];
  TBitmap bitmap;
  TVLMask alpha;  // so that transparency travels from readers that have it to writers that take it
  TVeloraIO io;
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(&alpha);

  try {
    io.LoadFromFile(in);
  } catch (const EVLFileOpenError&) {
    Complain("cannot open " + in + ": " + OpenFailureReason(in));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot read " + in + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting) {
    Complain("cannot read " + in + ": " + ReadFailure(io));
    return kExitImageFailed;
  }

  try {
    io.SaveToFile(out);
  } catch (const EVLFileCreateError&) {
    const std::string reason = CreateFailureReason(out);
    Complain("cannot create " + out + (reason.empty() ? std::string() : ": " + reason));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot write " + out + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting) {
    Complain("cannot write " + out + ": " + WriteFailure(io));
    return kExitImageFailed;
  }
  return kExitOk;
}

}  // namespace velora::tool
