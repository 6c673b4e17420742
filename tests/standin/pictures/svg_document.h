// Reads an SVG picture with a real XML parser (libxml2) into a flat list of
// its elements, so that tests look at what a viewer sees rather than at the
// text's layout.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <map>
#include <string>
#include <vector>

namespace svg_test {

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
  std::string text;  // the element's own text (for <text>)

  const std::string &operator[](const std::string &attribute) const {
    static const std::string none;
    const auto it = attributes.find(attribute);
    return it == attributes.end() ? none : it->second;
  }
  double number(const std::string &attribute) const { return std::stod((*this)[attribute]); }
  bool hasClass(const std::string &cssClass) const {
    const std::string classes = " " + (*this)["class"] + " ";
    return classes.find(" " + cssClass + " ") != std::string::npos;
  }
};

struct Document {
  bool wellFormed = false;  // well-formed XML with sound namespaces
  std::string rootName, rootNamespace;
  std::vector<Element> elements;  // in document order, the root first

  // Elements of one name whose class list holds `cssClass` (any class when empty).
  std::vector<Element> all(const std::string &name, const std::string &cssClass = "") const {
    std::vector<Element> found;
    for (const Element &e : elements)
      if (e.name == name && (cssClass.empty() || e.hasClass(cssClass))) found.push_back(e);
    return found;
  }
};

inline void collect(xmlNode *node, std::vector<Element> &out) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    Element e;
    e.name = reinterpret_cast<const char *>(node->name);
    for (xmlAttr *a = node->properties; a != nullptr; a = a->next) {
      xmlChar *value = xmlNodeGetContent(reinterpret_cast<xmlNode *>(a));
      e.attributes[reinterpret_cast<const char *>(a->name)] =
          value != nullptr ? reinterpret_cast<char *>(value) : "";
      xmlFree(value);
    }
    for (xmlNode *child = node->children; child != nullptr; child = child->next)
      if (child->type == XML_TEXT_NODE && child->content != nullptr)
        e.text += reinterpret_cast<const char *>(child->content);
    out.push_back(e);
    collect(node->children, out);
  }
}

inline Document parse(const std::string &svg) {
  Document document;
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) return document;
  xmlDocPtr doc = xmlCtxtReadMemory(context, svg.data(), static_cast<int>(svg.size()), "picture.svg", nullptr,
                                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  document.wellFormed = doc != nullptr && context->wellFormed != 0 && context->nsWellFormed != 0;
  if (doc != nullptr) {
    xmlNode *root = xmlDocGetRootElement(doc);
    if (root != nullptr) {
      document.rootName = reinterpret_cast<const char *>(root->name);
      if (root->ns != nullptr && root->ns->href != nullptr)
        document.rootNamespace = reinterpret_cast<const char *>(root->ns->href);
    }
    collect(root, document.elements);
    xmlFreeDoc(doc);
  }
  xmlFreeParserCtxt(context);
  return document;
}

}  // namespace svg_test
