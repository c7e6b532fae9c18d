#pragma once
// libtiff (TIFF pictures), opened when first needed rather than at start
// (platform/foundation/OnDemandLibrary.h): the functions this program calls,
// under their own names in namespace tifflib.

#include <tiffio.h>

#include "platform/foundation/OnDemandLibrary.h"

namespace tifflib {

inline const ondemand::Library& library() {
    static const ondemand::Library lib("libtiff.so.6");
    return lib;
}

#define KORVEL_TIFF_FUNCTIONS(F) \
    F(TIFFClientOpenExt) \
    F(TIFFClose) \
    F(TIFFComputeStrip) \
    F(TIFFCurrentDirOffset) \
    F(TIFFDefaultStripSize) \
    F(TIFFGetField) \
    F(TIFFGetFieldDefaulted) \
    F(TIFFGetStrileByteCount) \
    F(TIFFGetStrileOffset) \
    F(TIFFIsTiled) \
    F(TIFFOpenOptionsAlloc) \
    F(TIFFOpenOptionsFree) \
    F(TIFFOpenOptionsSetErrorHandlerExtR) \
    F(TIFFOpenOptionsSetMaxSingleMemAlloc) \
    F(TIFFOpenOptionsSetWarningHandlerExtR) \
    F(TIFFRGBAImageBegin) \
    F(TIFFRGBAImageEnd) \
    F(TIFFRGBAImageGet) \
    F(TIFFRGBAImageOK) \
    F(TIFFReadDirectory) \
    F(TIFFReadEncodedStrip) \
    F(TIFFScanlineSize) \
    F(TIFFSetField) \
    F(TIFFSetSubDirectory) \
    F(TIFFStripSize) \
    F(TIFFStripSize64) \
    F(TIFFTileSize64) \
    F(TIFFWriteDirectory) \
    F(TIFFWriteScanline)

// Whether the library opened with every function below.
inline bool available() {
#define KORVEL_NAME_OF(NAME) #NAME,
    static const bool all = library().hasAll({KORVEL_TIFF_FUNCTIONS(KORVEL_NAME_OF)});
#undef KORVEL_NAME_OF
    return all;
}

#define KORVEL_WRAP(NAME) KORVEL_ON_DEMAND_FUNCTION(library(), NAME)
KORVEL_TIFF_FUNCTIONS(KORVEL_WRAP)
#undef KORVEL_WRAP

}  // namespace tifflib
