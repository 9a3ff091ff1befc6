// What sits above the codecs and reaches all of them: the table of built-in formats (declared
// with its type in io/format_descriptor.h) and the one installer of the LZW coders.
#pragma once

namespace velora {

// Fills the four global LZW slots (GIF and TIFF, decoder and encoder) with the codecs' coders,
// as the viewer does on its first activation. Every program installs them through here, once
// before it reads on several threads; calling it again is harmless (InstallLzwCoders in
// io/io_params.h counts only the first call).
void VLInstallLzwCoders();

}  // namespace velora
