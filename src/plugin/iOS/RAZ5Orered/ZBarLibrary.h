#pragma once
// ZBar (reading QR codes), opened when first needed rather than at start
// (platform/foundation/OnDemandLibrary.h): the functions this program calls,
// under their own names in namespace zbarlib.

#include <zbar.h>

#include "platform/foundation/OnDemandLibrary.h"

namespace zbarlib {

inline const ondemand::Library& library() {
    static const ondemand::Library lib("libzbar.so.0");
    return lib;
}

#define KORVEL_ZBAR_FUNCTIONS(F) \
    F(zbar_image_create) \
    F(zbar_image_destroy) \
    F(zbar_image_first_symbol) \
    F(zbar_image_free_data) \
    F(zbar_image_scanner_create) \
    F(zbar_image_scanner_destroy) \
    F(zbar_image_scanner_set_config) \
    F(zbar_image_set_data) \
    F(zbar_image_set_format) \
    F(zbar_image_set_size) \
    F(zbar_scan_image) \
    F(zbar_symbol_get_data) \
    F(zbar_symbol_get_data_length) \
    F(zbar_symbol_get_type) \
    F(zbar_symbol_next)

// Whether the library opened with every function below.
inline bool available() {
#define KORVEL_NAME_OF(NAME) #NAME,
    static const bool all = library().hasAll({KORVEL_ZBAR_FUNCTIONS(KORVEL_NAME_OF)});
#undef KORVEL_NAME_OF
    return all;
}

// Under C++ the header declares its C functions in namespace zbar.
#define KORVEL_WRAP(NAME) KORVEL_ON_DEMAND_FUNCTION_IN(library(), ::zbar, NAME)
KORVEL_ZBAR_FUNCTIONS(KORVEL_WRAP)
#undef KORVEL_WRAP

// zbar's own release of an image's data, handed to it with the data.
inline zbar::zbar_image_cleanup_handler_t* imageFreeData() {
    static const auto f = ondemand::function<zbar::zbar_image_cleanup_handler_t*>(library(), "zbar_image_free_data");
    return f;
}

}  // namespace zbarlib
