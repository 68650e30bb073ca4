#include "http/CHTTPRequest.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using Lines = std::vector<std::string>;

class ResponseText : public ::testing::Test {
protected:
    Lines Extract(const std::string& html)
    {
        RecordingWindow window;
        CHTTPRequest request(window, cancel_, markers_, 120);
        request.extractProgressText(html);
        return window.Lines();
    }
    Lines Logged(const std::string& message)
    {
        RecordingWindow window;
        CHTTPRequest request(window, cancel_, markers_, 120);
        request.logMessage(message);
        return window.Lines();
    }

    std::atomic<bool> cancel_{false};
    std::vector<std::string> markers_;
};

TEST_F(ResponseText, EmphasisedSectionsBecomeLines)
{
    const std::pair<std::string, Lines> cases[] = {
        {"<html><strong>Extracting data</strong></html>", {"Extracting data"}},
        {"<STRONG>one</STRONG> x <Strong>two</sTrOnG>", {"one", "two"}},
        {"<H2>Your request<br>is queued</H2>", {"Your request", "is queued"}},
        {"<h2>first<BR>\r\n   second</h2>", {"first", "   second"}},
        {"<H2>heading</H2><STRONG>strong only</STRONG>", {"strong only"}},
        {"<STRONG>a<br />b</STRONG>", {"a<br />b"}},
        {"<STRONG>\t\r\n</STRONG><STRONG>kept</STRONG>", {"kept"}},
        {"<STRONG>never closed", {}},
        {"<STRONG>a<BR></STRONG>", {"a"}},
        {"<STRONG><BR><BR>b<i>c</i> </STRONG>", {"b<i>c</i> "}},
        {"plain\tpage\r\nwith lines\n", {"plainpagewith lines"}},
        {"\r\n\t", {}},
    };
    for (const auto& [html, expected] : cases)
        EXPECT_EQ(Extract(html), expected) << html;
}

TEST_F(ResponseText, OverlappingSectionsShareTheClosingTag)
{
    EXPECT_EQ(Extract("<STRONG>a<STRONG>b</STRONG>c</STRONG>"), (Lines{"a<STRONG>b", "b"}));
    EXPECT_EQ(Extract("<H2>x<h2>y<BR>z</H2>"), (Lines{"x<h2>y", "z", "y", "z"}));
}

// Pages of a great many tags: each must still be read in one pass, and
// unclosed opening tags cannot make the log repeat the page for each of them.
TEST_F(ResponseText, HostilePagesStayLinearInTimeAndLogText)
{
    std::string unclosed;
    for (int i = 0; i < 200000; ++i)
        unclosed += "<STRONG>";
    EXPECT_EQ(Extract(unclosed), Lines{});

    std::string breaks = "<STRONG>";
    for (int i = 0; i < 200000; ++i)
        breaks += "x<BR>";
    breaks += "</STRONG>";
    EXPECT_EQ(Extract(breaks).size(), 200000u);

    std::string nested = unclosed + "end</STRONG>";
    size_t logged = 0;
    for (const std::string& line : Extract(nested))
        logged += line.size();
    EXPECT_LE(logged, nested.size());
    EXPECT_GT(logged, 0u);
}

TEST_F(ResponseText, FindNoCaseReportsPositionsOrMinusOne)
{
    EXPECT_EQ(CHTTPRequest::findNoCase("abc<Br>def<bR>", "<BR>", 0), 3);
    EXPECT_EQ(CHTTPRequest::findNoCase("abc<Br>def<bR>", "<BR>", 4), 10);
    EXPECT_EQ(CHTTPRequest::findNoCase("abc", "<BR>", 0), -1);
    EXPECT_EQ(CHTTPRequest::findNoCase("abc", "c", 3), -1);
    EXPECT_EQ(CHTTPRequest::findNoCase("abc", "c", 7), -1);
    EXPECT_EQ(CHTTPRequest::findNoCase("\xC9t\xE9", "\xE9", 0), 2);
}

TEST_F(ResponseText, LogMessageSplitsLinesAndIndentsResponseHeaders)
{
    EXPECT_EQ(Logged("Error: Status Code is 404\n"), Lines{"Error: Status Code is 404"});
    EXPECT_EQ(Logged("a\r\n\r\nb\rc"), (Lines{"a", "b", "c"}));
    EXPECT_EQ(Logged("Response Headers: \"HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\n\""),
              (Lines{"Response Headers:", "  HTTP/1.1 404 Not Found", "  Server: x"}));
    EXPECT_EQ(Logged("Response Headers: \"\""), Lines{"Response Headers:"});
    EXPECT_EQ(Logged(""), Lines{});
}

}  // namespace
