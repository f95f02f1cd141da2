// The one instantiation of the XML writer that the library itself uses:
// writing into an in-memory OutputBuffer.
#include "xml_write/xml_writer.hpp"

namespace corvane {

template class XmlWriter<OutputBuffer>;

}  // namespace corvane
