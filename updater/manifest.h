#pragma once
// The update manifest (the window's XMLDoc), read with libxml2.
//
// The parser reads the encoding the document declares (byte-order mark or
// XML declaration), UTF-8 when it declares none. It never touches the
// network or any file, loads no DTD, and substitutes no entity: an entity
// reference of the document's own DTD stays as its literal "&name;" text.

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace manifest {

class ManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Element {
    std::string name; // qualified name, "prefix:local" when it has a prefix
    std::vector<std::pair<std::string, std::string>> attributes; // UTF-8 values

    // Null when the element lacks the attribute; an empty value is not null.
    std::optional<std::string> attribute(std::string_view name) const;
};

struct Document {
    // False for a body that holds nothing at all (empty, or a zero byte
    // first): it parses, but there is no root to walk.
    bool hasRoot = false;
    std::string rootName;
    // The root's child elements in document order; text, comments and
    // processing instructions between them are left out.
    std::vector<Element> children;
};

// Parses a reply body, up to its first zero byte. Throws ManifestError when
// it is not well-formed XML in its declared encoding.
Document parse(std::string_view body);

// Takes a possibly missing attribute as text; a missing one is an error
// whose message names the element and the attribute.
std::string requireText(const Element& element, std::string_view attributeName);

} // namespace manifest
