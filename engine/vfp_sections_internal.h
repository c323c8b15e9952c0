// The shader file's sections, apart from GL: the splitter hands each section
// of one name to a caller that compiles it. Internal to the shader module.
#pragma once

#include <functional>
#include <string>

namespace qx {

// Hands attach the source of every section named exactly `name`, in file
// order, with vertex telling "[VP" from "[FP"; each section's lines end in
// CR LF but its last line of the file. True when at least one was handed on;
// false at the first that attach refuses, or when none has the name.
bool SplitShaderSections(const std::string& text, const std::string& name,
                         const std::function<bool(const std::string& source, bool vertex)>& attach);

} // namespace qx
