#include "ViewPage.h"

namespace ertkit_cli {

namespace {

void replace(std::string& text, std::string_view mark, std::string_view by)
{
    if (const auto at = text.find(mark); at != std::string::npos) text.replace(at, mark.size(), by);
}

} // namespace

std::string viewPage()
{
    std::string page(embeddedFile("index.html"));
    replace(page, "/*VIEW_CSS*/", embeddedFile("view.css"));
    replace(page, "/*VIEW_JS*/", embeddedFile("view.js"));
    return page;
}

} // namespace ertkit_cli
