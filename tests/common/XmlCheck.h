// A small XML reader for the tests: checks that a document is well-formed (UTF-8, one root
// element, tags nested and closed, attributes quoted and not repeated, entities known, no markup
// characters in text) and lists its elements with their attributes and text.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace xmlcheck {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;   // values with entities resolved
    std::string text;                                 // character data directly inside, entities resolved
    bool hasClass(const std::string& cls) const {
        auto it = attributes.find("class");
        return it != attributes.end() && it->second == cls;
    }
    std::string attribute(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? "" : it->second;
    }
};

struct Document {
    std::string error;                // empty when well-formed
    std::vector<Element> elements;    // in document order
};

namespace detail {

inline bool nameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':'; }
inline bool nameChar(char c) {
    return nameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

// Resolves the entities of character data or of an attribute value in `quote`s (0 for
// character data); false on an unknown or unterminated entity, or on a character that may not
// appear there.
inline bool resolve(const std::string& raw, std::string& out, char quote) {
    out.clear();
    for (size_t i = 0; i < raw.size(); i++) {
        const char c = raw[i];
        if (c == '<' || (quote && c == quote)) return false;
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (c != '&') {
            out += c;
            continue;
        }
        const size_t end = raw.find(';', i);
        if (end == std::string::npos) return false;
        const std::string entity = raw.substr(i + 1, end - i - 1);
        static const std::map<std::string, char> named = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        if (named.count(entity)) {
            out += named.at(entity);
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const std::string digits = entity.substr(hex ? 2 : 1);
            if (digits.empty()) return false;
            for (char d : digits)
                if (!(hex ? std::isxdigit(static_cast<unsigned char>(d)) : std::isdigit(static_cast<unsigned char>(d))))
                    return false;
            out += '?';   // the tests never look at numeric references
        } else {
            return false;
        }
        i = end;
    }
    return true;
}

// The SVG text is UTF-8, as its XML declaration says.
inline bool isUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; k++)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        i += n;
    }
    return true;
}

}  // namespace detail

inline Document parse(const std::string& xml) {
    Document doc;
    std::vector<size_t> open;   // indices of the open elements
    bool rootSeen = false, rootClosed = false;
    size_t i = 0;
    auto fail = [&doc, &i](const std::string& why) {
        doc.error = why + " at offset " + std::to_string(i);
        return doc;
    };
    if (!detail::isUtf8(xml)) return fail("not UTF-8");
    if (xml.compare(0, 5, "<?xml") == 0) {
        const size_t end = xml.find("?>");
        if (end == std::string::npos) return fail("unterminated XML declaration");
        i = end + 2;
    }
    while (i < xml.size()) {
        if (xml[i] != '<') {
            const size_t end = xml.find('<', i);
            const std::string raw = xml.substr(i, end == std::string::npos ? std::string::npos : end - i);
            std::string text;
            if (!detail::resolve(raw, text, 0)) return fail("bad character data");
            if (raw.find("]]>") != std::string::npos) return fail("']]>' in text");
            if (open.empty()) {
                if (raw.find_first_not_of(" \t\r\n") != std::string::npos) return fail("text outside the root");
            } else {
                doc.elements[open.back()].text += text;
            }
            i = end == std::string::npos ? xml.size() : end;
            continue;
        }
        if (xml.compare(i, 4, "<!--") == 0) {
            const size_t end = xml.find("-->", i + 4);
            if (end == std::string::npos) return fail("unterminated comment");
            if (xml.substr(i + 4, end - i - 4).find("--") != std::string::npos) return fail("'--' in a comment");
            i = end + 3;
            continue;
        }
        if (xml.compare(i, 2, "<?") == 0) {
            const size_t end = xml.find("?>", i);
            if (end == std::string::npos) return fail("unterminated processing instruction");
            i = end + 2;
            continue;
        }
        if (xml.compare(i, 2, "</") == 0) {
            size_t j = i + 2;
            while (j < xml.size() && detail::nameChar(xml[j])) j++;
            const std::string name = xml.substr(i + 2, j - i - 2);
            while (j < xml.size() && std::isspace(static_cast<unsigned char>(xml[j]))) j++;
            if (j >= xml.size() || xml[j] != '>') return fail("bad end tag");
            if (open.empty() || doc.elements[open.back()].name != name) return fail("mismatched end tag </" + name + ">");
            open.pop_back();
            if (open.empty()) rootClosed = true;
            i = j + 1;
            continue;
        }
        // start tag
        if (rootClosed) return fail("a second root element");
        size_t j = i + 1;
        if (j >= xml.size() || !detail::nameStart(xml[j])) return fail("bad tag name");
        while (j < xml.size() && detail::nameChar(xml[j])) j++;
        Element e;
        e.name = xml.substr(i + 1, j - i - 1);
        bool selfClosing = false;
        for (;;) {
            const size_t before = j;
            while (j < xml.size() && std::isspace(static_cast<unsigned char>(xml[j]))) j++;
            if (j >= xml.size()) return fail("unterminated tag");
            if (xml[j] == '>') {
                j++;
                break;
            }
            if (xml.compare(j, 2, "/>") == 0) {
                selfClosing = true;
                j += 2;
                break;
            }
            if (j == before) return fail("attributes not separated by white space");
            const size_t nameAt = j;
            if (!detail::nameStart(xml[j])) return fail("bad attribute name");
            while (j < xml.size() && detail::nameChar(xml[j])) j++;
            const std::string key = xml.substr(nameAt, j - nameAt);
            if (j >= xml.size() || xml[j] != '=') return fail("attribute without '='");
            j++;
            if (j >= xml.size() || (xml[j] != '"' && xml[j] != '\'')) return fail("unquoted attribute value");
            const char quote = xml[j];
            const size_t end = xml.find(quote, j + 1);
            if (end == std::string::npos) return fail("unterminated attribute value");
            std::string value;
            if (!detail::resolve(xml.substr(j + 1, end - j - 1), value, quote))
                return fail("bad attribute value of " + key);
            if (e.attributes.count(key)) return fail("repeated attribute " + key);
            e.attributes[key] = value;
            j = end + 1;
        }
        if (open.empty() && rootSeen) return fail("a second root element");
        rootSeen = true;
        doc.elements.push_back(e);
        if (!selfClosing) {
            open.push_back(doc.elements.size() - 1);
        } else if (open.empty()) {
            rootClosed = true;
        }
        i = j;
    }
    if (!rootSeen) return fail("no root element");
    if (!open.empty()) return fail("element <" + doc.elements[open.back()].name + "> not closed");
    return doc;
}

// The elements named `name` whose class attribute is exactly `cls`.
inline int count(const Document& doc, const std::string& name, const std::string& cls) {
    int n = 0;
    for (const Element& e : doc.elements) n += e.name == name && e.hasClass(cls);
    return n;
}

}  // namespace xmlcheck
