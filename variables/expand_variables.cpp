#include "variables/expand_variables.h"

#include <unordered_set>
#include <vector>

namespace vcboot {
namespace {

constexpr char kSign = '%';

// One text being expanded: the caller's text at the bottom of the stack, a
// variable's stored value above it. Inserted text is never scanned again, so
// every frame appends to the one result: its text in front of a reference,
// then the reference's expansion (by the frame above it), then the rest. The
// scan of the frame goes on at `next`; text[pos, ...) is not yet copied.
struct Frame {
  const std::string* text;
  std::size_t pos;
  std::size_t next;
};

void check_size(const std::string& out) {
  if (out.size() > kMaxExpandedSize) {
    throw ExpansionTooLong(ExpansionTooLong::Bound::kSize);
  }
}

// Adds `cost` to the expansion's `work` (see kMaxExpansionWork).
void charge(std::size_t& work, std::size_t cost) {
  if (cost > kMaxExpansionWork - work) {
    throw ExpansionTooLong(ExpansionTooLong::Bound::kWork);
  }
  work += cost;
}

Frame frame_for(const std::string& text) {
  return Frame{&text, 0, text.find(kSign)};
}

// Values being expanded further down the stack, by their slot in the table:
// a name has exactly one slot, so this tells a cycle at once.
using ActiveValues = std::unordered_set<const std::string*>;

// Scans `frame` for its next reference to a defined name that is not being
// expanded already. Found: appends the text in front of the reference to
// `out`, steps past the reference and returns the name's stored value. Else
// null, with nothing left to scan.
const std::string* next_reference(Frame& frame, std::string& out,
                                  std::size_t& work, const VariableTable& table,
                                  const ActiveValues& active,
                                  ExpansionObserver* observer) {
  const std::string& text = *frame.text;
  std::size_t open = frame.next;
  while (open != std::string::npos) {
    // The last sign of a row opens the reference.
    const std::size_t begin = text.find_first_not_of(kSign, open);
    if (begin == std::string::npos) break;
    const std::size_t close = text.find(kSign, begin);
    if (close == std::string::npos) break;
    charge(work, kLookupWork);
    const std::string name = text.substr(begin, close - begin);
    const std::string* value = table.find(name);
    if (value != nullptr && active.count(value) == 0) {
      out.append(text, frame.pos, begin - 1 - frame.pos);
      check_size(out);
      frame.pos = close + 1;
      frame.next = text.find(kSign, frame.pos);
      return value;
    }
    if (observer != nullptr) {
      if (value == nullptr)
        observer->unresolved(name);
      else
        observer->cyclic(name);
    }
    // Left in place: its closing sign may open the next reference.
    open = close;
  }
  frame.next = std::string::npos;
  return nullptr;
}

std::string expand(const std::string& text, const VariableTable& table,
                   ExpansionObserver* observer) {
  // An explicit stack instead of recursion: a chain of values nested
  // thousands deep must not overflow the thread's stack (1 MiB on Windows).
  std::vector<Frame> stack;
  ActiveValues active;
  std::string out;
  std::size_t work = 0;
  charge(work, text.size());
  stack.push_back(frame_for(text));
  for (;;) {
    Frame& top = stack.back();
    if (const std::string* value =
            next_reference(top, out, work, table, active, observer)) {
      charge(work, value->size());
      active.insert(value);
      stack.push_back(frame_for(*value));
      continue;
    }
    out.append(*top.text, top.pos, std::string::npos);
    check_size(out);
    if (stack.size() == 1) return out;
    // The value is expanded and stands in place of its reference below.
    active.erase(top.text);
    stack.pop_back();
  }
}

}  // namespace

std::string expand_variables(const std::string& text,
                             const VariableTable& table) {
  return expand(text, table, nullptr);
}

std::string expand_variables(const std::string& text,
                             const VariableTable& table,
                             ExpansionObserver& observer) {
  return expand(text, table, &observer);
}

}  // namespace vcboot
