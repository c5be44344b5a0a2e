#include "manifest.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <memory>

namespace manifest {

namespace {

std::string utf8(const xmlChar* s) {
    return s ? reinterpret_cast<const char*>(s) : std::string();
}

std::string qualifiedName(const xmlChar* name, const xmlNs* ns) {
    if (ns && ns->prefix)
        return utf8(ns->prefix) + ":" + utf8(name);
    return utf8(name);
}

// An attribute's value from its child nodes. Entity references are written
// back as references, never expanded (xmlGetProp would expand them, without
// any bound on the size).
std::string attributeValue(const xmlAttr* attr) {
    std::string value;
    for (const xmlNode* c = attr->children; c; c = c->next) {
        if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE)
            value += utf8(c->content);
        else if (c->type == XML_ENTITY_REF_NODE)
            value += "&" + utf8(c->name) + ";";
    }
    return value;
}

// Nothing the manifest names is ever fetched, whatever the options say.
xmlParserInputPtr refuseExternal(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

struct CtxtFree {
    void operator()(xmlParserCtxt* c) const { xmlFreeParserCtxt(c); }
};
struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};

} // namespace

std::optional<std::string> Element::attribute(std::string_view wanted) const {
    for (const auto& [n, v] : attributes)
        if (n == wanted)
            return v;
    return std::nullopt;
}

Document parse(std::string_view body) {
    const auto nul = body.find('\0');
    if (nul != std::string_view::npos)
        body = body.substr(0, nul);
    if (body.empty())
        return Document{};
    if (body.size() > static_cast<std::size_t>(INT_MAX))
        throw ManifestError("清单过大");

    xmlSetExternalEntityLoader(refuseExternal);
    std::unique_ptr<xmlParserCtxt, CtxtFree> ctxt(xmlNewParserCtxt());
    if (!ctxt)
        throw ManifestError("无法创建 XML 解析器");
    // No XML_PARSE_NOENT, XML_PARSE_DTDLOAD, XML_PARSE_DTDATTR or
    // XML_PARSE_DTDVALID: entities stay references and no DTD is read.
    const int options =
        XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    std::unique_ptr<xmlDoc, DocFree> doc(xmlCtxtReadMemory(
        ctxt.get(), body.data(), static_cast<int>(body.size()), "manifest.xml", nullptr, options));
    if (!doc || !ctxt->wellFormed) {
        const xmlError* e = xmlCtxtGetLastError(ctxt.get());
        std::string why = e && e->message ? e->message : "not well-formed";
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw ManifestError("清单不是合式的 XML: " + why);
    }

    Document out;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root)
        return out;
    out.hasRoot = true;
    out.rootName = qualifiedName(root->name, root->ns);
    for (const xmlNode* n = root->children; n; n = n->next) {
        if (n->type != XML_ELEMENT_NODE)
            continue;
        Element el;
        el.name = qualifiedName(n->name, n->ns);
        for (const xmlAttr* a = n->properties; a; a = a->next)
            el.attributes.emplace_back(qualifiedName(a->name, a->ns), attributeValue(a));
        out.children.push_back(std::move(el));
    }
    return out;
}

std::string requireText(const Element& element, std::string_view attributeName) {
    auto v = element.attribute(attributeName);
    if (!v)
        throw ManifestError(element.name + " 缺少属性 " + std::string(attributeName));
    return *v;
}

} // namespace manifest
