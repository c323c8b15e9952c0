// The section splitter of the shader files: header lines "[VP name]" and
// "[FP name]" cut the text into sections. Lines end in CR LF; a bare LF is
// taken as a line end too.
#include "engine/vfp_sections_internal.h"

namespace qx {

namespace {

bool IsHeader(const std::string& line) { return line.starts_with("[VP") || line.starts_with("[FP"); }

// "[VP water]" names the section "water": from the fifth character up to the first "]".
std::string SectionName(const std::string& line) {
    if (line.size() <= 4) return "";
    const size_t close = line.find(']', 4);
    return line.substr(4, close == std::string::npos ? std::string::npos : close - 4);
}

} // namespace

bool SplitShaderSections(const std::string& text, const std::string& name,
                         const std::function<bool(const std::string& source, bool vertex)>& attach) {
    std::string source;
    bool selected = false;
    bool vertex = true;
    bool attached = false;
    size_t at = 0;
    for (;;) {
        const size_t end = text.find('\n', at);
        const bool last = end == std::string::npos;
        std::string line = text.substr(at, last ? std::string::npos : end - at);
        if (!last && !line.empty() && line.back() == '\r') line.pop_back();
        const bool header = IsHeader(line);
        const bool collect = name.empty() || selected;
        if (!header) {
            if (collect) source += last ? line : line + "\r\n";
            if (!last) {
                at = end + 1;
                continue;
            }
        }
        // A header or the end: the section above is complete.
        if (selected && !source.empty()) {
            if (!attach(source, vertex)) return false;
            attached = true;
        }
        source.clear();
        if (header) {
            vertex = line.starts_with("[VP");
            selected = SectionName(line) == name;
        }
        if (last) break;
        at = end + 1;
    }
    return attached;
}

} // namespace qx
