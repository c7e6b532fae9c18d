// libcurl through our own names: opened on the first request only, none of
// its names defined by us, and each typed call refusing an option or a piece
// of information of another type before libcurl reads it.
#include <gtest/gtest.h>

#include "platform/foundation/Strings.h"
#include "platform/net/CurlLibrary.h"
#include "standin/StandinServer.h"
#include "support/TestSupport.h"

namespace {

size_t ignoreBody(char*, size_t size, size_t n, void*) { return size * n; }

TEST(CurlLibrary, OpenedOnTheFirstRequestOnly) {
    standin::HttpServer server("any");
    ASSERT_TRUE(server.start());
    auto child = testsupport::runProgram({testsupport::built(CURL_FIRST_USE_CHILD), std::to_string(server.port())});
    ASSERT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(child.out, "session=0 refused=0 request=1\n") << child.err;
}

// A program of ours that defined libcurl's functions would take the place
// of the library's own for every other user of it in the process.
TEST(CurlLibrary, NoneOfItsNamesIsDefinedByUs) {
    auto symbols = testsupport::runProgram({"/usr/bin/nm", "--defined-only", testsupport::built(CURL_FIRST_USE_CHILD)});
    ASSERT_EQ(symbols.status, 0) << symbols.err;
    ASSERT_TRUE(strings::contains(symbols.out, "curllib"));  // the names are there to read
    for (auto& line : strings::split(symbols.out, "\n")) {
        auto fields = strings::split(line, " ");
        EXPECT_FALSE(fields.size() == 3 && strings::hasPrefix(fields[2], "curl_")) << line;
    }
}

TEST(CurlLibrary, TypedCallsRefuseWhatTheOptionDoesNotTake) {
    ASSERT_TRUE(curllib::available());
    CURL* curl = curllib::easyInit();
    ASSERT_TRUE(curl);
    EXPECT_EQ(curllib::setLong(curl, CURLOPT_URL, 1), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(curllib::setPointer(curl, CURLOPT_NOBODY, "1"), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(curllib::setOffset(curl, CURLOPT_TIMEOUT_MS, 1), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(curllib::setCallback(curl, CURLOPT_WRITEDATA, ignoreBody), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(curllib::setPointer(curl, CURLOPT_WRITEFUNCTION, nullptr), CURLE_BAD_FUNCTION_ARGUMENT);

    EXPECT_EQ(curllib::setLong(curl, CURLOPT_NOBODY, 1), CURLE_OK);
    EXPECT_EQ(curllib::setPointer(curl, CURLOPT_URL, "http://127.0.0.1:9/x"), CURLE_OK);
    EXPECT_EQ(curllib::setOffset(curl, CURLOPT_POSTFIELDSIZE_LARGE, 3), CURLE_OK);
    EXPECT_EQ(curllib::setCallback(curl, CURLOPT_WRITEFUNCTION, ignoreBody), CURLE_OK);
    int mark = 0;
    EXPECT_EQ(curllib::setPointer(curl, CURLOPT_PRIVATE, &mark), CURLE_OK);
    EXPECT_EQ(curllib::privateOf(curl), &mark);

    long code = -1;
    char* text = nullptr;
    EXPECT_EQ(curllib::getLong(curl, CURLINFO_EFFECTIVE_URL, &code), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(curllib::getText(curl, CURLINFO_RESPONSE_CODE, &text), CURLE_BAD_FUNCTION_ARGUMENT);
    EXPECT_EQ(code, -1);
    EXPECT_EQ(curllib::getLong(curl, CURLINFO_RESPONSE_CODE, &code), CURLE_OK);
    EXPECT_EQ(code, 0);  // nothing was sent
    curllib::easyCleanup(curl);

    EXPECT_EQ(curllib::hostOf("https://a.example:8443/p?q"), "a.example");
    EXPECT_EQ(curllib::hostOf("no address"), "");
}

}  // namespace
