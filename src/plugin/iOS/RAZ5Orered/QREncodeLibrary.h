#pragma once
// libqrencode (making QR codes), opened when first needed rather than at start
// (platform/foundation/OnDemandLibrary.h): the functions this program calls,
// under their own names in namespace qrencodelib.

#include <qrencode.h>

#include "platform/foundation/OnDemandLibrary.h"

namespace qrencodelib {

inline const ondemand::Library& library() {
    static const ondemand::Library lib("libqrencode.so.4");
    return lib;
}

#define KORVEL_QR_FUNCTIONS(F) \
    F(QRcode_encodeData) \
    F(QRcode_free)

// Whether the library opened with every function below.
inline bool available() {
#define KORVEL_NAME_OF(NAME) #NAME,
    static const bool all = library().hasAll({KORVEL_QR_FUNCTIONS(KORVEL_NAME_OF)});
#undef KORVEL_NAME_OF
    return all;
}

#define KORVEL_WRAP(NAME) KORVEL_ON_DEMAND_FUNCTION(library(), NAME)
KORVEL_QR_FUNCTIONS(KORVEL_WRAP)
#undef KORVEL_WRAP

}  // namespace qrencodelib
