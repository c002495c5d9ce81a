// What conversions share for as long as the library is loaded: the numbers
// of generated viewer objects, which go on across pictures, and the node
// name the user last gave for system values.
#ifndef QUILLON_EXPRESSION_PROCESS_STATE_H_
#define QUILLON_EXPRESSION_PROCESS_STATE_H_

#include <string>

namespace quillon {

struct ProcessState {
  int expressions = 0;    // raised before each expression: Exp1, Exp2, ...
  int system_values = 0;  // numbers system-value animations from 0
  int data_items = 1;     // numbers data-item animations from 1
  int companions = 1;     // numbers uniform-scale companions from 1
  int scale_stages = 0;   // numbers scale stages
  std::string remembered_node;  // the last answer to the node prompt
};

}  // namespace quillon

#endif  // QUILLON_EXPRESSION_PROCESS_STATE_H_
