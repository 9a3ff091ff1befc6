// Windows metafiles as the I/O front sees them: imported from files by ImportMetafile, never
// recognised by content, never written.
#include "metafile_descriptor.h"

namespace velora {

constinit const TVLFormatDescriptor kWmfDescriptor{
    .FileType = ioWMF,
    .Name = "WMF",
    .FullName = "Windows Metafile",
    .Extensions = "WMF",
    .MetafileImport = true,
};

constinit const TVLFormatDescriptor kEmfDescriptor{
    .FileType = ioEMF,
    .Name = "EMF",
    .FullName = "Enhanced Windows Metafile",
    .Extensions = "EMF",
    .MetafileImport = true,
};

}  // namespace velora
