// The preview dialog lives above the views, so it installs its launcher here and every view's
// processing component reaches it through this one slot.
#pragma once
#include "proc/velora_proc.h"

namespace velora {

// Replaces the installed launcher (an empty one removes it).
void InstallPreviewLauncher(TPreviewLauncher launcher);
// Runs the installed launcher; false when none is installed.
bool RunPreviewLauncher(TPreviewRequest& request);

}  // namespace velora
