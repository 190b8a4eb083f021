// The console's protocol pieces: the handshake's key and the framing's three length forms.
#include <gtest/gtest.h>

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
            EXPECT_EQ(head.masked, m != nullptr);
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
