// Windows metafiles as the I/O front sees them: imported from files by ImportMetafile, never
// recognised by content, never written. The header-only read gives the size the import makes.
#include "metafile_descriptor.h"

#include "metafile_codec.h"

namespace velora {

constinit const TVLFormatDescriptor kWmfDescriptor{
    .FileType = ioWMF,
    .Name = "WMF",
    .FullName = "Windows Metafile",
    .Extensions = "WMF",
    .Signatures = {},
    .Read = MetafileReadStream,
    .MetafileImport = true,
    .ProbeMetafile = MetafileProbe,
    .DrawMetafile = MetafileDraw,
};

constinit const TVLFormatDescriptor kEmfDescriptor{
    .FileType = ioEMF,
    .Name = "EMF",
    .FullName = "Enhanced Windows Metafile",
    .Extensions = "EMF",
    .Signatures = {},
    .Read = MetafileReadStream,
    .MetafileImport = true,
    .ProbeMetafile = MetafileProbe,
    .DrawMetafile = MetafileDraw,
};

}  // namespace velora
