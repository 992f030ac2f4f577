// Activity: the public class that holds the activity snapshot of a
// distribution's engine job, 27 text properties cut from the activity block.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/dispatch.h"
#include "store/record_layouts.h"

namespace qv::automation {

class Activity : public platform::DispatchObject<Activity> {
 public:
  // Number of properties: one per field of the activity block.
  static constexpr std::size_t kCount = 27;
  // DISPID of the first property; the others follow in block order.
  static constexpr platform::DISPID kFirstDispid = 0x40030000;

  // Members: the 27 properties (get / put, String), named and ordered as the
  // fields of layout::Activity: state, Receiver, RcvNum, JOSEQN, ..., CptErr.
  static const platform::DispatchTable& Table();

  // Returns the property at a position of the block (0 = state).
  const std::string& Get(std::size_t index) const { return values_.at(index); }
  void Set(std::size_t index, std::string value) { values_.at(index) = std::move(value); }
  // Returns the property of a field name; throws UnknownFieldError for a name
  // that is not a field of the block.
  const std::string& Get(std::string_view name) const { return values_[layout::Activity.Index(name)]; }
  void Set(std::string_view name, std::string value) {
    values_[layout::Activity.Index(name)] = std::move(value);
  }

  // Cuts an activity block into the properties, each field at its width; a
  // shorter block gives blanks for the fields it lacks.
  void Fill(std::string_view block);

 private:
  std::array<std::string, kCount> values_{};
};

}  // namespace qv::automation
