// TextEncoder through iconv, which knows every code page glibc knows
// (`iconv --list`).
#include <errno.h>
#include <iconv.h>

#include "tools/vcpack/text_encoder.h"

namespace vcpack {
namespace {

class IconvEncoder : public TextEncoder {
 public:
  explicit IconvEncoder(iconv_t descriptor) : descriptor_(descriptor) {}
  ~IconvEncoder() override { iconv_close(descriptor_); }
  IconvEncoder(const IconvEncoder&) = delete;
  IconvEncoder& operator=(const IconvEncoder&) = delete;

  std::optional<std::string> from_utf8(const std::string& text) override {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);  // a fresh state
    std::string input = text;
    char* in = &input[0];
    std::size_t in_left = input.size();
    std::string result;
    // The input first, then what closes a code page that keeps a state.
    for (bool closing = false;;) {
      char buffer[256];
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t done =
          closing ? iconv(descriptor_, nullptr, nullptr, &out, &out_left)
                  : iconv(descriptor_, &in, &in_left, &out, &out_left);
      result.append(buffer, static_cast<std::size_t>(out - buffer));
      if (done == static_cast<std::size_t>(-1)) {
        // E2BIG: the buffer is full; EILSEQ: a character without a place
        // (or no UTF-8); EINVAL: a sequence cut short.
        if (errno != E2BIG) return std::nullopt;
        continue;
      }
      if (closing) return result;
      closing = true;
    }
  }

 private:
  iconv_t descriptor_;
};

}  // namespace

std::unique_ptr<TextEncoder> make_text_encoder(const std::string& code_page) {
  // "//TRANSLIT" and "//IGNORE" would replace or drop characters silently.
  if (code_page.empty() || code_page.find('/') != std::string::npos)
    return nullptr;
  const iconv_t descriptor = iconv_open(code_page.c_str(), "UTF-8");
  if (descriptor == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::make_unique<IconvEncoder>(descriptor);
}

}  // namespace vcpack
