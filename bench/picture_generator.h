// Synthetic picture documents for measuring conversions: a plant-like mix of
// shapes, texts, data links, charts, bitmaps and controls, most of them
// animated, some in groups. The same options always give the same bytes.
#ifndef QUILLON_BENCH_PICTURE_GENERATOR_H_
#define QUILLON_BENCH_PICTURE_GENERATOR_H_

#include <cstdint>
#include <map>
#include <string>

namespace quillon {
namespace bench {

struct GeneratorOptions {
  // Number of shapes in the picture: every object the picture walk visits,
  // top-level objects, groups and group members alike. Animation objects,
  // data items, pens and data-link sources come on top.
  int objects = 1000;
  uint64_t seed = 1;
  // The picture's name (the first segment of every full name).
  std::string name = "Bench";
};

// What a generated picture holds, for checking the mix.
struct GeneratorStats {
  int shapes = 0;               // equals GeneratorOptions::objects
  int grouped = 0;              // shapes inside a group (groups inside groups included)
  int groups = 0;               // group objects, nested ones included
  int nested_groups = 0;        // groups inside a group
  int animated = 0;             // shapes with at least one connection
  int connections = 0;          // connected properties of shapes (pens not counted)
  std::map<std::string, int> classes;     // shapes by class ("OleObject" split by kind)
  std::map<std::string, int> animations;  // source objects by kind
};

// The picture document, as UTF-8 JSON text with one top-level object per
// line. `stats` (may be null) receives what it holds.
std::string GeneratePictureDocument(const GeneratorOptions& options,
                                    GeneratorStats* stats = nullptr);

}  // namespace bench
}  // namespace quillon

#endif  // QUILLON_BENCH_PICTURE_GENERATOR_H_
