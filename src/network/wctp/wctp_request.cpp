#include "network/wctp/wctp_request.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <sstream>

namespace tarvex {

namespace {

constexpr char DefaultVersion[] = "wctp-dtd-v1r1";
constexpr char DoctypeLine[] = "wctp-Operation SYSTEM \"http://dtd.wctp.org/wctpv1-0.dtd\"";
constexpr std::size_t MaxIdBytes = 128;

/// Length of the UTF-8 sequence at text[i] that XML 1.0 allows as a character, 0 if none.
std::size_t xmlCharLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') ? 1 : 0;
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || i + n > text.size())
        return 0;
    uint32_t code = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    const bool shortest = (n == 3 && code >= 0x800) || (n == 4 && code >= 0x10000) || n == 2;
    const bool allowed =
        (code < 0xD800 || code > 0xDFFF) && code != 0xFFFE && code != 0xFFFF && code <= 0x10FFFF;
    return shortest && allowed ? n : 0;
}

/// Text that may go into the answer as it is: what XML cannot carry becomes '?'.
std::string xmlSafe(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = xmlCharLength(text, i);
        out += n == 0 ? std::string("?") : std::string(text.substr(i, n));
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::string versionOrDefault(std::string_view version) {
    const bool plain = !version.empty() && version.size() <= 32 &&
                       std::all_of(version.begin(), version.end(), [](char c) {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '-' || c == '.';
                       });
    return plain ? std::string(version) : std::string(DefaultVersion);
}

WctpFault fault(int code, std::string text, std::string description) {
    return {code, std::move(text), std::move(description)};
}

/// True when a DOCTYPE carries an internal subset ('[' outside its quoted literals).
bool hasInternalSubset(std::string_view doctype) {
    char quote = 0;
    for (const char c : doctype) {
        if (quote != 0)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '[')
            return true;
    }
    return false;
}

/// All character data directly inside the element (text and CDATA pieces together).
std::string textOf(const pugi::xml_node& element) {
    std::string text;
    for (const auto& child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    }
    return text;
}

std::string attributeOf(const pugi::xml_node& element, const char* name) {
    return element.attribute(name).value();
}

WctpRequest readSubmit(const pugi::xml_node& request, const std::string& version,
                       const WctpReadLimits& limits);

WctpRequest readOperation(const pugi::xml_document& doc, const WctpReadLimits& limits) {
    pugi::xml_node root;
    for (const auto& node : doc.children()) {
        if (node.type() == pugi::node_doctype && hasInternalSubset(node.value()))
            return fault(wctp::CannotParse, "Input cannot be parsed",
                         "internal DTD subsets and entity declarations are not accepted");
        if (node.type() == pugi::node_element) {
            if (root)
                return fault(wctp::ValidationError, "XML validation error",
                             "more than one top-level element");
            root = node;
        }
    }
    if (!root || std::string_view(root.name()) != "wctp-Operation")
        return fault(wctp::ValidationError, "XML validation error",
                     "the document is not a wctp-Operation");
    const std::string version = versionOrDefault(attributeOf(root, "wctpVersion"));
    const pugi::xml_node operation =
        root.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; });
    if (!operation)
        return fault(wctp::ValidationError, "XML validation error", "empty wctp-Operation");
    const std::string_view name = operation.name();
    if (name == "wctp-SubmitRequest")
        return readSubmit(operation, version, limits);
    if (name == "wctp-VersionQuery")
        return WctpVersionQuery{version, xmlSafe(attributeOf(operation, "inquirer"))};
    return fault(wctp::OperationNotSupported, "Operation not supported",
                 xmlSafe(std::string(name.substr(0, 64))) + " is not supported by this station");
}

std::string readRecipients(const pugi::xml_node& header, const WctpReadLimits& limits,
                           std::vector<std::string>& recipients) {
    for (const auto& recipient : header.children("wctp-Recipient")) {
        const std::string id = attributeOf(recipient, "recipientID");
        if (id.empty() || id.size() > MaxIdBytes)
            return "wctp-Recipient needs a recipientID of 1 to 128 bytes";
        if (std::find(recipients.begin(), recipients.end(), id) != recipients.end())
            continue;
        if (recipients.size() >= limits.maxRecipients)
            return "more than " + std::to_string(limits.maxRecipients) + " recipients";
        recipients.push_back(id);
    }
    return recipients.empty() ? "no wctp-Recipient" : std::string();
}

WctpRequest readSubmit(const pugi::xml_node& request, const std::string& version,
                       const WctpReadLimits& limits) {
    const pugi::xml_node header = request.child("wctp-SubmitHeader");
    const pugi::xml_node originator = header.child("wctp-Originator");
    WctpSubmit submit;
    submit.version = version;
    submit.senderId = attributeOf(originator, "senderID");
    submit.securityCode = attributeOf(originator, "securityCode");
    submit.messageId = attributeOf(header.child("wctp-MessageControl"), "messageID");
    if (!header || !originator || submit.senderId.empty() || submit.senderId.size() > MaxIdBytes)
        return fault(wctp::ValidationError, "XML validation error",
                     "wctp-SubmitHeader needs a wctp-Originator with a senderID of 1 to 128 bytes");
    if (std::string why = readRecipients(header, limits, submit.recipients); !why.empty())
        return fault(why.starts_with("more") ? wctp::FunctionNotSupported : wctp::ValidationError,
                     why.starts_with("more") ? "Function not supported" : "XML validation error",
                     why);
    const pugi::xml_node payload = request.child("wctp-Payload");
    const pugi::xml_node alphanumeric = payload.child("wctp-Alphanumeric");
    if (!alphanumeric)
        return payload ? fault(wctp::FunctionNotSupported, "Function not supported",
                               "only wctp-Alphanumeric payloads are taken")
                       : fault(wctp::ValidationError, "XML validation error", "no wctp-Payload");
    submit.text = textOf(alphanumeric);
    if (submit.text.size() > limits.maxTextBytes)
        return fault(wctp::MessageTooLong, "Message exceeds allowable length",
                     "the message has " + std::to_string(submit.text.size()) + " bytes, at most " +
                         std::to_string(limits.maxTextBytes) + " are taken");
    return submit;
}

pugi::xml_node startAnswer(pugi::xml_document& doc, std::string_view version) {
    auto declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    doc.append_child(pugi::node_doctype).set_value(DoctypeLine);
    auto operation = doc.append_child("wctp-Operation");
    operation.append_attribute("wctpVersion") = versionOrDefault(version).c_str();
    return operation;
}

std::string written(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

std::string confirmation(const char* kind, const char* codeName, const char* textName, int code,
                         std::string_view text, std::string_view description,
                         std::string_view version) {
    pugi::xml_document doc;
    auto element = startAnswer(doc, version).append_child("wctp-Confirmation").append_child(kind);
    element.append_attribute(codeName) = code;
    element.append_attribute(textName) = xmlSafe(text).c_str();
    if (!description.empty())
        element.text().set(xmlSafe(description).c_str());
    return written(doc);
}

} // namespace

WctpRequest readWctpRequest(std::string_view body, const WctpReadLimits& limits) {
    if (body.empty())
        return fault(wctp::CannotParse, "Input cannot be parsed", "empty request body");
    pugi::xml_document doc;
    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(body.data(), body.size(), options, pugi::encoding_auto);
    if (!parsed)
        return fault(wctp::CannotParse, "Input cannot be parsed",
                     std::string("not well-formed XML at byte ") + std::to_string(parsed.offset) +
                         ": " + parsed.description());
    return readOperation(doc, limits);
}

std::string wctpSuccess(int code, std::string_view text, std::string_view description,
                        std::string_view version) {
    return confirmation("wctp-Success", "successCode", "successText", code, text, description,
                        version);
}

std::string wctpFailure(int code, std::string_view text, std::string_view description,
                        std::string_view version) {
    return confirmation("wctp-Failure", "errorCode", "errorText", code, text, description, version);
}

std::string wctpVersionResponse(std::string_view responder, std::string_view version) {
    pugi::xml_document doc;
    auto response = startAnswer(doc, version).append_child("wctp-VersionResponse");
    response.append_attribute("responder") = xmlSafe(responder).c_str();
    auto support = response.append_child("wctp-DTDSupport");
    support.append_attribute("supportType") = "Supported";
    support.append_attribute("dtdName") = "WCTP";
    support.append_attribute("verToken") = DefaultVersion;
    return written(doc);
}

} // namespace tarvex
