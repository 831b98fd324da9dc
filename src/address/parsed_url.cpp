#include "address/parsed_url.h"

namespace {

std::string lower_case(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

ParsedUrl::ParsedUrl(const std::string& address)
{
    size_t start = 0;
    const size_t scheme_end = address.find("://");
    if (scheme_end != std::string::npos) {
        protocol = lower_case(address.substr(0, scheme_end));
        start = scheme_end + 3;
    }
    const size_t slash = address.find('/', start);
    host = lower_case(address.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) return;
    const size_t question = address.find('?', slash);
    path = address.substr(slash, question == std::string::npos ? std::string::npos : question - slash);
    if (question != std::string::npos) query = address.substr(question + 1);
}
