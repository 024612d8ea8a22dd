#pragma once
// The web interface's files, built into the program from src/network/web/assets at build
// time: nothing to install beside tarvexd and nothing to lose. The page links the stylesheet and
// the script by their version ("/app.js?v=..."), so that a browser may keep them.
#include <string_view>

namespace tarvex {

struct WebAsset {
    std::string_view path;    ///< "/index.html", "/app.js", "/style.css"
    std::string_view type;    ///< its Content-Type
    std::string_view version; ///< the hash of its bytes the page links it with ("" for a page)
    std::string_view body;
};

/// The file served at the path; null when there is none.
const WebAsset* findWebAsset(std::string_view path);

} // namespace tarvex
