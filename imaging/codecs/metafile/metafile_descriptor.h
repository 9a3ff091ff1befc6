// Windows metafiles (WMF, EMF), imported by the I/O front.
#pragma once
#include "io/format_descriptor.h"

namespace velora {

extern const TVLFormatDescriptor kWmfDescriptor;
extern const TVLFormatDescriptor kEmfDescriptor;

}  // namespace velora
