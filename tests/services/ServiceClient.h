#pragma once

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <zip.h>
#include <map>

// A plain libcurl GET on loopback: no redirects followed, headers and body
// kept, like the program's client sees them.
struct HttpAnswer {
    long status = 0;
    std::string headers;
    std::string body;
    bool ok = false;  // the transfer completed

    // The value of a header (first occurrence), without its line end.
    std::string Header(const std::string& name) const
    {
        const std::string key = "\n" + name + ": ";
        const size_t at = ("\n" + headers).find(key);
        if (at == std::string::npos)
            return {};
        const size_t begin = at + key.size() - 1;
        const size_t end = headers.find_first_of("\r\n", begin);
        return headers.substr(begin, end - begin);
    }
};

inline size_t AppendTo(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// A value for a URL query: letters, digits, '-' and '.' as they are, every
// other byte as %XX.
inline std::string EscapeQueryValue(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", c);
            out += code;
        }
    }
    return out;
}

inline HttpAnswer HttpGet(const std::string& url)
{
    HttpAnswer answer;
    CURL* curl = curl_easy_init();
    if (!curl)
        return answer;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendTo);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, AppendTo);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer.headers);
    answer.ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_easy_cleanup(curl);
    return answer;
}

// Sends one raw request line to 127.0.0.1:port and returns all it answers;
// libcurl refuses URLs with blanks, some clients send them all the same.
inline std::string RawRequest(int port, const std::string& requestLine)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = requestLine + "\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(sock, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[4096];
            ssize_t got;
            while ((got = ::recv(sock, buffer, sizeof buffer, 0)) > 0)
                answer.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(sock);
    return answer;
}

// The members of a ZIP archive held in memory, by name.
inline std::map<std::string, std::string> UnzipInMemory(const std::string& bytes)
{
    std::map<std::string, std::string> members;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source)
            zip_source_free(source);
        return members;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0)
            continue;
        std::string data(static_cast<size_t>(stat.size), '\0');
        if (zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0)) {
            const zip_int64_t read = zip_fread(file, data.data(), stat.size);
            zip_fclose(file);
            if (read != static_cast<zip_int64_t>(stat.size))
                data = "<unreadable>";
        }
        members[stat.name] = std::move(data);
    }
    zip_close(archive);
    return members;
}
