#include "http/CHTTPRequest.h"
#include "http/TraceLog.h"
#include "tests/http/HttpTestSupport.h"

#include <clocale>

namespace {

std::string Entry(const std::string& header, const std::string& body)
{
    return header +
           "\r\nCHTTPRequest::execute():\r\nno progressInformationText found.\r\n"
           "Dumping whole HTTP response body:\r\n\r\n+++ BEGIN OF PAYLOAD +++\r\n" +
           body + "+++ END OF PAYLOAD +++\r\n\r\n";
}

TEST(TraceHeaderLine, UsesEnglishNamesInUtcWhateverTheLocale)
{
    // Locale names would differ if the C library's formatting leaked in.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "de_DE.UTF-8");
    // 2004-02-29 13:05:09 UTC, a Sunday.
    EXPECT_EQ(TraceHeaderLine(1078059909),
              "terraFetchDialog log file created Sunday, February 29, 2004 13:05:09 UTC\r\n");
    EXPECT_EQ(TraceHeaderLine(0), "terraFetchDialog log file created Thursday, January 01, 1970 00:00:00 UTC\r\n");
    std::setlocale(LC_ALL, previous.c_str());
}

class TraceLog : public InTempFolder {};

TEST_F(TraceLog, AppendsWholeEntriesByteForByte)
{
    writeTrace("first body\r\n");
    writeTrace("second\nbody without end");
    const std::string text = ReadFileBytes("terraFetch.log");
    const size_t secondStart = text.find("terraFetchDialog log file created", 1);
    ASSERT_NE(secondStart, std::string::npos);
    const std::string firstHeader = text.substr(0, text.find("\r\n") + 2);
    const std::string secondHeader = text.substr(secondStart, text.find("\r\n", secondStart) + 2 - secondStart);
    EXPECT_EQ(text, Entry(firstHeader, "first body\r\n") + Entry(secondHeader, "second\nbody without end"));
    EXPECT_NE(text.find("body without end+++ END OF PAYLOAD +++\r\n"), std::string::npos);
}

TEST_F(TraceLog, AnUnwritableLogIsIgnored)
{
    std::filesystem::create_directory("terraFetch.log");  // cannot be opened as a file
    writeTrace("body");
    EXPECT_TRUE(std::filesystem::is_directory("terraFetch.log"));
}

}  // namespace
