// The console's protocol pieces: the handshake's key, the framing's three length forms, request
// heads, the client's deadline and the screenshot paths it may name.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "maker/console.h"
#include "maker/web.h"

TEST(Web, HandshakeAndFramesAsTheProtocolWritesThem) {
    // The worked example of the WebSocket protocol's own definition.
    EXPECT_EQ(websocket_accept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    for (const char* bad :
         {"", "dGhlIHNhbXBsZSBub25jZQ=", "dGhlIHNhbXBsZSBub25jZR==", "dGhlIHNhbXBsZSBub25jZQ==AAAA"})
        EXPECT_EQ(websocket_accept(bad), "") << bad;
    // Each length form, masked and not: the header read back says what was written, and the
    // payload unmasks to itself. Lengths 125, 126 and 65536 are where the forms change.
    const uint8_t mask[4] = {1, 2, 3, 250};
    for (size_t length : {0, 125, 126, 65535, 65536}) {
        for (const uint8_t* m : {static_cast<const uint8_t*>(nullptr), mask}) {
            const std::string payload(length, 'p');
            std::string frame = websocket_frame(WS_TEXT, payload, m);
            FrameHead head;
            EXPECT_FALSE(websocket_frame_head(frame.substr(0, 1), head));
            ASSERT_TRUE(websocket_frame_head(frame, head)) << length;
            EXPECT_TRUE(head.final);
            EXPECT_EQ(head.opcode, WS_TEXT);
            EXPECT_EQ(head.length, length);
            EXPECT_EQ(head.size + length, frame.size());
            EXPECT_EQ(head.size, (length < 126 ? 2u : length < 65536 ? 4u : 10u) + (m != nullptr ? 4 : 0));
            if (m == nullptr) continue;
            websocket_unmask(frame.data() + head.size, length, head.mask, 0);
            EXPECT_EQ(frame.substr(head.size), payload);
        }
    }
}

TEST(Web, RequestHeadsAreReadWithinTheirBound) {
    HttpHead head;
    size_t used = 0;
    const std::string request = "GET /ws?token=ab HTTP/1.1\r\nHost: a:1\r\nUpgrade:  websocket \r\n\r\nrest";
    ASSERT_EQ(http_head_parse(request, head, used), HeadResult::Complete);
    EXPECT_EQ(used, request.size() - 4);
    EXPECT_EQ(head.path, "/ws");
    EXPECT_EQ(head.query, "token=ab");
    EXPECT_EQ(*head.header("upgrade"), "websocket");
    EXPECT_EQ(http_head_parse(request.substr(0, 30), head, used), HeadResult::Incomplete);
    EXPECT_EQ(http_head_parse(std::string(WEB_MAX_HEAD, 'x'), head, used), HeadResult::TooLarge);
    for (const char* bad :
         {"GET / HTTP/2\r\n\r\n", "GET x HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nno colon\r\n\r\n",
          "G(T / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nA: b\x01\r\n\r\n"})
        EXPECT_EQ(http_head_parse(bad, head, used), HeadResult::Malformed) << bad;
    ASSERT_EQ(http_head_parse("GET / HTTP/1.1\r\nHost: a\r\nhost: b\r\n\r\n", head, used),
              HeadResult::Complete);
    EXPECT_EQ(head.header("host"), nullptr);  // two Hosts name none
    EXPECT_TRUE(http_has_token("keep-alive, Upgrade", "upgrade"));
    EXPECT_FALSE(http_has_token("keep-alive, Upgraded", "upgrade"));
}

TEST(Web, TheClientGivesUpInItsTimeAndScreenshotsStayInTheFolder) {
    // A port that takes the connection and never answers costs the limit in all, not a limit
    // for each step of the way. It is bound to the loopback address on a free port: a bare
    // listen would take one on every interface of the machine.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(silent, 4), 0);
    getsockname(silent, reinterpret_cast<sockaddr*>(&a), &length);
    const std::string port = std::to_string(ntohs(a.sin_port));
    std::string why;
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(console_ask("http://127.0.0.1:" + port + "/?token=00", "time", 1, why), "");
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(1900));
    EXPECT_EQ(why, "no console answers at 127.0.0.1:" + port);
    close(silent);

    for (const char* inside : {"x.tga", "a/b/x.tga", "..x.tga", "a/x..", "./x.tga"})
        EXPECT_TRUE(console_path_inside(inside)) << inside;
    for (const char* outside : {"", "/tmp/x.tga", "..", "../x.tga", "a/../../x.tga", "a/.."})
        EXPECT_FALSE(console_path_inside(outside)) << outside;
}
