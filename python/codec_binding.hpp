// The codec's functions in the module: pack, unpack, protected_id, checksum,
// and encode and decode through a node's encodings; and a frame drawn.
#pragma once

#include <pybind11/pybind11.h>

namespace tolvane {

void bind_codec(pybind11::module_& module);
// draw_frame: a frame's layout drawn as text.
void bind_frame_drawing(pybind11::module_& module);
// generate_c: C code for a node's frames.
void bind_c_code(pybind11::module_& module);

}  // namespace tolvane
