// PLACEHOLDER: replaced by the escape-sequence remover and XML filter.
#include "model/xml_string.hpp"

namespace corvane {

void append_sanitised(std::string_view text, std::string& out) { out.append(text); }

XmlString::XmlString(std::string_view text) {
  append_sanitised(text, text_);
  text_.shrink_to_fit();
}

}  // namespace corvane
