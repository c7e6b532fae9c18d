#pragma once
// giflib (GIF pictures), opened when first needed rather than at start
// (platform/foundation/OnDemandLibrary.h): the functions this program calls,
// under their own names in namespace giflib.

#include <gif_lib.h>

#include "platform/foundation/OnDemandLibrary.h"

namespace giflib {

inline const ondemand::Library& library() {
    static const ondemand::Library lib("libgif.so.7");
    return lib;
}

#define KORVEL_GIF_FUNCTIONS(F) \
    F(DGifCloseFile) \
    F(DGifExtensionToGCB) \
    F(DGifGetCode) \
    F(DGifGetCodeNext) \
    F(DGifGetExtension) \
    F(DGifGetExtensionNext) \
    F(DGifGetImageDesc) \
    F(DGifGetLine) \
    F(DGifGetRecordType) \
    F(DGifOpen) \
    F(EGifCloseFile) \
    F(EGifGCBToExtension) \
    F(EGifOpen) \
    F(EGifPutExtension) \
    F(EGifPutExtensionBlock) \
    F(EGifPutExtensionLeader) \
    F(EGifPutExtensionTrailer) \
    F(EGifPutImageDesc) \
    F(EGifPutLine) \
    F(EGifPutScreenDesc) \
    F(EGifSetGifVersion) \
    F(GifFreeMapObject) \
    F(GifMakeMapObject) \
    F(GifQuantizeBuffer)

// Whether the library opened with every function below.
inline bool available() {
#define KORVEL_NAME_OF(NAME) #NAME,
    static const bool all = library().hasAll({KORVEL_GIF_FUNCTIONS(KORVEL_NAME_OF)});
#undef KORVEL_NAME_OF
    return all;
}

#define KORVEL_WRAP(NAME) KORVEL_ON_DEMAND_FUNCTION(library(), NAME)
KORVEL_GIF_FUNCTIONS(KORVEL_WRAP)
#undef KORVEL_WRAP

}  // namespace giflib
