// A small, slow OBJ reader written independently of the importer: what the tests expect the
// importer to make of a file. It keeps every polygon whole, resolves relative numbers, and says
// why a file must be refused.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace objref {

inline constexpr int64_t kNone = -2; // the corner gives no texture coordinate / normal
inline constexpr int64_t kBad = -1;  // the corner names a record that cannot exist

struct Corner {
    int64_t position; // 0-based
    int64_t texcoord; // 0-based or kNone
    int64_t normal;   // 0-based or kNone
};

struct Face {
    std::vector<Corner> corners;
    size_t line; // 1-based line where the record starts
};

// The faces [firstFace, firstFace + faceCount) of one "g" record, or of the faces before the
// first "g" record (line 0).
struct Group {
    uint32_t id;
    size_t firstFace;
    size_t faceCount;
    size_t line;
};

struct Obj {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 2>> texcoords;
    std::vector<std::array<float, 3>> normals;
    std::vector<Face> faces;
    std::vector<Group> groups;
    std::string invalid; // why the file must be refused; empty for a valid file
};

// strtod, then the nearest float (values beyond the float range round as the hardware does).
inline float toFloat(const std::string& text) {
    const double value = std::strtod(text.c_str(), nullptr);
    if (std::isnan(value) || std::fabs(value) <= FLT_MAX || std::isinf(value))
        return static_cast<float>(value);
    return std::copysign(std::fabs(value) < 0x1.ffffffp127 ? FLT_MAX : INFINITY,
                         static_cast<float>(value > 0 ? 1 : -1));
}

inline bool isUtf16(std::string_view bytes) {
    return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                                 (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

// The text of a UTF-16 file (with its byte order mark) whose characters are all ASCII; false
// for any other file.
inline bool decodeAsciiUtf16(std::string_view bytes, std::string& text) {
    text.clear();
    if (!isUtf16(bytes) || bytes.size() % 2 != 0)
        return false;
    const bool little = bytes[0] == '\xFF';
    for (size_t i = 2; i < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
        const auto high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
        if (high != 0 || low >= 0x80)
            return false;
        text.push_back(static_cast<char>(low));
    }
    return true;
}

namespace detail {

struct Field {
    std::string text;
    size_t end; // offset just past the field in its line
};

inline std::vector<Field> splitFields(const std::string& line) {
    std::vector<Field> fields;
    size_t at = 0;
    for (;;) {
        at = line.find_first_not_of(" \t\r", at);
        if (at == std::string::npos || line[at] == '#')
            return fields;
        const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        fields.push_back({line.substr(at, end - at), end});
        at = end;
    }
}

// A 1-based or relative OBJ number as a 0-based one, with `seen` records read so far; kBad for
// 0 and for relative numbers reaching before the first record.
inline int64_t resolve(const std::string& text, size_t seen) {
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (number > 0)
        return number - 1;
    if (number < 0 && static_cast<int64_t>(seen) + number >= 0)
        return static_cast<int64_t>(seen) + number;
    return kBad;
}

inline Corner readCorner(const std::string& field, const Obj& obj) {
    std::string parts[3];
    size_t part = 0;
    for (const char c : field) {
        if (c == '/')
            ++part;
        else if (part < 3)
            parts[part].push_back(c);
    }
    return Corner{resolve(parts[0], obj.positions.size()),
                  parts[1].empty() ? kNone : resolve(parts[1], obj.texcoords.size()),
                  parts[2].empty() ? kNone : resolve(parts[2], obj.normals.size())};
}

inline float fieldFloat(const std::vector<Field>& fields, size_t i) {
    return i < fields.size() ? toFloat(fields[i].text) : 0.0f;
}

inline void readLine(const std::string& line, size_t lineNumber, Obj& obj) {
    const std::vector<Field> fields = splitFields(line);
    if (fields.empty())
        return;
    const std::string& keyword = fields[0].text;
    if (keyword == "v") {
        obj.positions.push_back(
            {fieldFloat(fields, 1), fieldFloat(fields, 2), fieldFloat(fields, 3)});
    } else if (keyword == "vt") {
        obj.texcoords.push_back({fieldFloat(fields, 1), fieldFloat(fields, 2)});
    } else if (keyword == "vn") {
        obj.normals.push_back(
            {fieldFloat(fields, 1), fieldFloat(fields, 2), fieldFloat(fields, 3)});
    } else if (keyword == "f") {
        if (obj.groups.empty())
            obj.groups.push_back({0, 0, 0, 0});
        Face face{{}, lineNumber};
        for (size_t i = 1; i < fields.size(); ++i)
            face.corners.push_back(readCorner(fields[i].text, obj));
        obj.faces.push_back(std::move(face));
        ++obj.groups.back().faceCount;
    } else if (keyword == "g") {
        const size_t slash = line.find('/', fields[0].end);
        const long long id =
            slash == std::string::npos ? 0 : std::strtoll(line.c_str() + slash + 1, nullptr, 10);
        obj.groups.push_back({static_cast<uint32_t>(id), obj.faces.size(), 0, lineNumber});
    }
}

inline bool names(int64_t number, size_t count) {
    return number == kNone || (number >= 0 && static_cast<uint64_t>(number) < count);
}

// Positive numbers may name records anywhere in the file.
inline void checkFaces(Obj& obj) {
    for (const Face& face : obj.faces) {
        const std::string where = "the face on line " + std::to_string(face.line);
        if (face.corners.size() < 3) {
            obj.invalid = where + " has " + std::to_string(face.corners.size()) + " corners";
            return;
        }
        for (const Corner& corner : face.corners) {
            if (corner.position < 0 || !names(corner.position, obj.positions.size()))
                obj.invalid = where + " names a missing position";
            else if (!names(corner.texcoord, obj.texcoords.size()))
                obj.invalid = where + " names a missing texture coordinate";
            else if (!names(corner.normal, obj.normals.size()))
                obj.invalid = where + " names a missing normal";
            if (!obj.invalid.empty())
                return;
        }
    }
}

} // namespace detail

// Reads OBJ text (UTF-8, byte order mark allowed).
inline Obj readObj(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Obj obj;
    size_t at = 0;
    size_t lineNumber = 0;
    while (at < text.size()) {
        std::string line;
        const size_t first = lineNumber + 1;
        bool continued = true;
        while (continued && at < text.size()) {
            const size_t end = std::min(text.find('\n', at), text.size());
            std::string_view piece = text.substr(at, end - at);
            at = end + 1;
            ++lineNumber;
            if (!piece.empty() && piece.back() == '\r' && piece.size() >= 2 &&
                piece[piece.size() - 2] == '\\')
                piece.remove_suffix(1);
            continued = !piece.empty() && piece.back() == '\\';
            if (continued)
                piece.remove_suffix(1);
            line.append(piece);
        }
        detail::readLine(line, first, obj);
    }
    detail::checkFaces(obj);
    return obj;
}

} // namespace objref
