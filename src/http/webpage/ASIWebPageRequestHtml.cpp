// HTML pages through libxml2: parsing, the search for references, their
// rewrite and the serialisation of the page.
//
// libxml2's parser is initialised once and never cleaned up here: its
// global state is shared with the rest of the process (GTK's SVG loader uses
// it), so freeing it when the last page leaves would pull it from under them.

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "http/engine/CurlUrl.h"
#include "http/webpage/ASIWebPageRequest.h"

namespace nb::http {

namespace {

constexpr const char* kResourceExpression =
    "//link/@href|//a/@href|//script/@src|//img/@src|//frame/@src|//iframe/@src|//style|//*/@style|"
    "//source/@src|//video/@poster|//audio/@src";
constexpr int kParseOptions = HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;

struct FreeXPathContext {
  void operator()(xmlXPathContext* c) const { xmlXPathFreeContext(c); }
};
struct FreeXPathObject {
  void operator()(xmlXPathObject* o) const { xmlXPathFreeObject(o); }
};
struct FreeXmlText {
  void operator()(xmlChar* t) const { xmlFree(t); }
};
struct FreeXmlBuffer {
  void operator()(xmlBuffer* b) const { xmlBufferFree(b); }
};
using XmlText = std::unique_ptr<xmlChar, FreeXmlText>;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string text(const xmlChar* value) {
  return value == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(value));
}

std::string contentOf(xmlNode* node) {
  const XmlText content(xmlNodeGetContent(node));
  return text(content.get());
}

std::string nameOf(const xmlNode* node) {
  return node == nullptr ? std::string() : lower(text(node->name));
}

// The extension of a reference's last path component, lower-cased.
std::string extensionOf(const std::string& reference) {
  const std::string last = reference.substr(reference.rfind('/') == std::string::npos ? 0 : reference.rfind('/') + 1);
  const size_t dot = last.rfind('.');
  return dot == std::string::npos ? std::string() : lower(last.substr(dot + 1));
}

void setContent(xmlDoc* doc, xmlNode* node, const std::string& value) {
  // Set as literal text: the setter reads entity references in what it gets.
  const XmlText escaped(xmlEncodeSpecialChars(doc, reinterpret_cast<const xmlChar*>(value.c_str())));
  xmlNodeSetContent(node, escaped.get());
}

void replaceAll(std::string& value, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = value.find(from); at != std::string::npos; at = value.find(from, at + to.size())) {
    value.replace(at, from.size(), to);
  }
}

std::vector<ASIWebPageRequest*>& requestsUsingXMLParser() {
  static std::vector<ASIWebPageRequest*> pages;
  return pages;
}

// Runs the reference search over `doc`; `visit` sees each matched node,
// last to first.
template <typename Visit>
ASIErrorPtr forEachResourceNode(xmlDoc* doc, Visit&& visit) {
  const std::unique_ptr<xmlXPathContext, FreeXPathContext> context(xmlXPathNewContext(doc));
  if (!context) {
    return ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to create new XPath context");
  }
  const std::unique_ptr<xmlXPathObject, FreeXPathObject> found(
      xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(kResourceExpression), context.get()));
  if (!found) {
    return ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to evaluate XPath expression!");
  }
  const xmlNodeSet* nodes = found->nodesetval;
  for (int i = nodes == nullptr ? 0 : nodes->nodeNr; i-- > 0;) visit(nodes->nodeTab[i]);
  return nullptr;
}

}  // namespace

void ASIWebPageRequest::FreeDocument::operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }

std::mutex& ASIWebPageRequest::xmlParsingLock() {
  static std::mutex lock;
  return lock;
}

ASIErrorPtr ASIWebPageRequest::parseAsHTML() {
  webContentType_ = HTMLContent;
  std::lock_guard lock(xmlParsingLock());
  // Safe to call again; once initialised the parser stays for the process.
  if (requestsUsingXMLParser().empty()) xmlInitParser();
  requestsUsingXMLParser().push_back(this);
  const auto encoding = encodingName();
  const char* encodingText = encoding ? encoding->c_str() : nullptr;
  xmlDoc* parsed = nullptr;
  if (const auto path = downloadDestinationPath()) {
    parsed = htmlReadFile(path->c_str(), encodingText, kParseOptions);
  } else {
    const std::string body = responseData().value_or("");
    parsed = htmlReadMemory(body.data(), static_cast<int>(body.size()), "", encodingText, kParseOptions);
  }
  ASIErrorPtr failure;
  if (parsed == nullptr) {
    failure = ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to parse reponse XML");
  } else {
    doc_.reset(parsed);
    failure = readResourceURLs();
  }
  if (failure || resourceList().empty()) releaseDocument();
  return failure;
}

ASIErrorPtr ASIWebPageRequest::readResourceURLs() {
  return forEachResourceNode(doc_.get(), [&](xmlNode* node) {
    const std::string name = nameOf(node);
    const std::string parent = nameOf(node->parent);
    const std::string value = contentOf(node);
    if (parent == "link") {
      const XmlText rel(xmlGetProp(node->parent, reinterpret_cast<const xmlChar*>("rel")));
      if (lower(text(rel.get())) == "stylesheet") addURLToFetch(value);
    } else if (name == "style") {
      for (const std::string& reference : CSSURLsFromString(value)) addURLToFetch(reference);
    } else if (parent == "source" || parent == "audio") {
      const std::string extension = extensionOf(value);
      if (extension != "ogg" && extension != "ogv" && extension != "webm") addURLToFetch(value);
    } else if (parent != "a") {
      addURLToFetch(value);
    }
  });
}

ASIErrorPtr ASIWebPageRequest::updateResourceURLs() {
  if (!doc_) return nullptr;
  xmlDoc* doc = doc_.get();
  return forEachResourceNode(doc, [&](xmlNode* node) {
    std::string value = contentOf(node);
    if (nameOf(node) == "style") {
      for (const std::string& reference : CSSURLsFromString(value)) {
        if (value.find(reference) == std::string::npos) continue;
        if (const auto replacement = contentForExternalURL(reference)) {
          replaceAll(value, reference, *replacement);
        }
      }
      setContent(doc, node, value);
      return;
    }
    std::optional<std::string> replacement;
    if (urlReplacementMode == ASIReplaceExternalResourcesWithLocalURLs && nameOf(node->parent) == "a") {
      replacement = resolveUrl(url(), value);
    } else {
      replacement = contentForExternalURL(value);
    }
    if (replacement) setContent(doc, node, *replacement);
  });
}

ASIErrorPtr ASIWebPageRequest::saveDocument() {
  if (!doc_) return nullptr;
  if (const auto path = downloadDestinationPath()) {
    std::ofstream(*path, std::ios::trunc).close();
    xmlSaveCtxt* save = xmlSaveToFilename(path->c_str(), nullptr, XML_SAVE_NO_DECL);
    if (save == nullptr) {
      return ASIError::make(ASIFileManagementError, "Unable to write the page to " + *path);
    }
    xmlSaveDoc(save, doc_.get());
    if (xmlSaveClose(save) < 0) {
      return ASIError::make(ASIFileManagementError, "Unable to write the page to " + *path);
    }
    return nullptr;
  }
  const std::unique_ptr<xmlBuffer, FreeXmlBuffer> buffer(xmlBufferCreate());
  xmlSaveCtxt* save = xmlSaveToBuffer(buffer.get(), nullptr, XML_SAVE_NO_DECL);
  if (save == nullptr) return ASIError::make(ASIUnableToParseXMLErrorType, "Error: unable to save the page");
  xmlSaveDoc(save, doc_.get());
  xmlSaveClose(save);
  removeResponseHeader("Content-Encoding");
  replaceResponseData(std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                                  static_cast<size_t>(xmlBufferLength(buffer.get()))));
  return nullptr;
}

// Under xmlParsingLock.
void ASIWebPageRequest::releaseDocument() {
  doc_.reset();
  auto& pages = requestsUsingXMLParser();
  pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
}

}  // namespace nb::http
