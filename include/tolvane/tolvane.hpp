// tolvane for C++: reads LIN node capability files (NCF) into plain records
// and reports every problem in the text with its line and column.
//
//   #include <tolvane/tolvane.hpp>
//
//   tolvane::NcfParser parser = tolvane::NcfParser::from_file("door.ncf");
//   const tolvane::NcfFile file = parser.parse();
//   for (const tolvane::Diagnostic& d : parser.get_diagnostics()) { ... }
//
// With CMake: find_package(tolvane CONFIG REQUIRED) and
// target_link_libraries(app PRIVATE tolvane::core).
#pragma once

#include "cgen/c_code.hpp"
#include "codec/frame_codec.hpp"
#include "format/formatter.hpp"
#include "ldf/cluster.hpp"
#include "codec/signal_codec.hpp"
#include "model/comment.hpp"
#include "model/diagnostic.hpp"
#include "model/ncf_records.hpp"
#include "model/record_description.hpp"
#include "model/source_position.hpp"
#include "parser/ncf_parser.hpp"
#include "picture/frame_picture.hpp"
#include "parser/source_text.hpp"
#include "validate/check_files.hpp"
#include "validate/validator.hpp"
#include "writer/ncf_writer.hpp"
