#include "http/Url.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* text;
    UrlSplit expected;
    const char* host;
    int port;
    const char* object;
};

TEST(SplitUrl, AcceptsHttpOnlyAndTellsOtherSchemesFromNonsense)
{
    const SplitCase cases[] = {
        {"http://example.org/a/b?x=1", UrlSplit::Ok, "example.org", 80, "/a/b?x=1"},
        {"HTTP://Example.org:8080", UrlSplit::Ok, "Example.org", 8080, "/"},
        {"http://h?q=1#frag", UrlSplit::Ok, "h", 80, "/?q=1"},
        {"http://user:pw@h:81/x", UrlSplit::Ok, "h", 81, "/x"},
        {"http://[::1]:8000/x", UrlSplit::Ok, "::1", 8000, "/x"},
        {"https://example.org/", UrlSplit::NotHttp, "", 0, ""},
        {"ftp://example.org/file", UrlSplit::NotHttp, "", 0, ""},
        {"not a url", UrlSplit::NotAUrl, "", 0, ""},
        {"7", UrlSplit::NotAUrl, "", 0, ""},
        {"", UrlSplit::NotAUrl, "", 0, ""},
        {"/relative/path", UrlSplit::NotAUrl, "", 0, ""},
        {"http://", UrlSplit::NotAUrl, "", 0, ""},
        {"http://:80/x", UrlSplit::NotAUrl, "", 0, ""},
        {"http://h:0/", UrlSplit::PortOutOfRange, "", 0, ""},
        {"http://h:65536/", UrlSplit::PortOutOfRange, "", 0, ""},
        {"http://h:8a/", UrlSplit::NotAUrl, "", 0, ""},
        {"http://bad host/", UrlSplit::NotAUrl, "", 0, ""},
        {"weird://h/x", UrlSplit::NotAUrl, "", 0, ""},
        {"http://[[x]:81/me", UrlSplit::NotAUrl, "", 0, ""},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.text);
        UrlParts parts;
        ASSERT_EQ(SplitUrl(c.text, parts), c.expected);
        if (c.expected != UrlSplit::Ok)
            continue;
        EXPECT_EQ(parts.host, c.host);
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.object, c.object);
    }
}

TEST(ResolveUrl, KeepsHostAndPortOfTheBase)
{
    UrlParts base;
    ASSERT_EQ(SplitUrl("http://h:8080/dir/page.html?x=1", base), UrlSplit::Ok);
    const std::pair<const char*, const char*> cases[] = {
        {"http://other/x", "http://other/x"},
        {"https://other/x", "https://other/x"},
        {"//other/x", "http://other/x"},
        {"/next?a=b", "http://h:8080/next?a=b"},
        {"next.html", "http://h:8080/dir/next.html"},
        {"?y=2", "http://h:8080/dir/page.html?y=2"},
    };
    for (const auto& [reference, expected] : cases)
        EXPECT_EQ(ResolveUrl(base, reference), expected) << reference;

    UrlParts plain;
    ASSERT_EQ(SplitUrl("http://h/a", plain), UrlSplit::Ok);
    EXPECT_EQ(ResolveUrl(plain, "/next"), "http://h/next");
}

TEST(TransferUrl, EscapesBytesThatCannotTravelInARequestLine)
{
    UrlParts parts;
    ASSERT_EQ(SplitUrl("http://h:81/a b/\xC3\xA9?q=x y", parts), UrlSplit::Ok);
    EXPECT_EQ(TransferUrl(parts), "http://h:81/a%20b/%C3%A9?q=x%20y");
}

TEST(TransferUrl, SplitsAgainToTheSameServer)
{
    for (const char* text : {"http://[::1]:8000/x", "http://[host]/x", "http://a]b:81/", "http://u@[fe80::1%25eth0]/"}) {
        SCOPED_TRACE(text);
        UrlParts parts;
        ASSERT_EQ(SplitUrl(text, parts), UrlSplit::Ok);
        UrlParts again;
        ASSERT_EQ(SplitUrl(TransferUrl(parts), again), UrlSplit::Ok);
        EXPECT_EQ(again.host, parts.host);
        EXPECT_EQ(again.port, parts.port);
    }
}

}  // namespace
