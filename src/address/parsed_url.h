// The address of the web service that tells a caller its own address, split into its parts.
#pragma once

#include <string>

struct ParsedUrl {
    // "HTTP://Host.Example/path/x?query" gives "http", "host.example", "/path/x", "query".
    // Scheme and host are lower-cased (A to Z only); no port is recognised in the host.
    explicit ParsedUrl(const std::string& address);

    std::string protocol;
    std::string host;
    std::string path;
    std::string query;
};
