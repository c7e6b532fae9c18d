#pragma once
// OpenJPEG (JPEG 2000 pictures), opened when first needed rather than at start
// (platform/foundation/OnDemandLibrary.h): the functions this program calls,
// under their own names in namespace openjpeglib.

#include <openjpeg.h>

#include "platform/foundation/OnDemandLibrary.h"

namespace openjpeglib {

inline const ondemand::Library& library() {
    static const ondemand::Library lib("libopenjp2.so.7");
    return lib;
}

#define KORVEL_OPJ_FUNCTIONS(F) \
    F(opj_create_compress) \
    F(opj_create_decompress) \
    F(opj_decode) \
    F(opj_destroy_codec) \
    F(opj_destroy_cstr_info) \
    F(opj_encode) \
    F(opj_end_compress) \
    F(opj_end_decompress) \
    F(opj_get_cstr_info) \
    F(opj_image_create) \
    F(opj_image_destroy) \
    F(opj_read_header) \
    F(opj_set_default_decoder_parameters) \
    F(opj_set_decode_area) \
    F(opj_set_default_encoder_parameters) \
    F(opj_set_error_handler) \
    F(opj_set_info_handler) \
    F(opj_set_warning_handler) \
    F(opj_setup_decoder) \
    F(opj_setup_encoder) \
    F(opj_start_compress) \
    F(opj_stream_create) \
    F(opj_stream_destroy) \
    F(opj_stream_set_read_function) \
    F(opj_stream_set_seek_function) \
    F(opj_stream_set_skip_function) \
    F(opj_stream_set_user_data) \
    F(opj_stream_set_user_data_length) \
    F(opj_stream_set_write_function)

// Whether the library opened with every function below.
inline bool available() {
#define KORVEL_NAME_OF(NAME) #NAME,
    static const bool all = library().hasAll({KORVEL_OPJ_FUNCTIONS(KORVEL_NAME_OF)});
#undef KORVEL_NAME_OF
    return all;
}

#define KORVEL_WRAP(NAME) KORVEL_ON_DEMAND_FUNCTION(library(), NAME)
KORVEL_OPJ_FUNCTIONS(KORVEL_WRAP)
#undef KORVEL_WRAP

}  // namespace openjpeglib
