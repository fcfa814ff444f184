// Requests: the address parser and the exact request bytes.
#include <gtest/gtest.h>

#include <string>

#include "net/http_request.h"

namespace {

std::string Str(const _guardchar<char>& s) { return s.text != nullptr ? s.text : ""; }

std::string Built(const cHttpRequest& r) {
  _typebuf<char> out;
  EXPECT_TRUE(r.Build(out));
  return std::string(out.data != nullptr ? out.data : "", static_cast<size_t>(out.count));
}

struct UrlCase {
  const char* url;
  bool ok;
  const char* host = "";
  const char* authority = "";
  const char* path = "";
  int32_t port = 0;
  uint8_t tls = 0;
};

TEST(HttpRequest, Addresses) {
  const UrlCase cases[] = {
      {"http://example.com/a/b", true, "example.com", "example.com", "/a/b", 80, 0},
      {"HTTPS://Example.COM", true, "Example.COM", "Example.COM", "/", 443, 1},
      {"hTTp://h", true, "h", "h", "/", 80, 0},
      {"http://example.com:8080/x", true, "example.com", "example.com:8080", "/x", 8080, 0},
      {"https://h:00080/", true, "h", "h:00080", "/", 80, 1},
      {"http://h:65535", true, "h", "h:65535", "/", 65535, 0},
      {"http://h/check?softwareid=42&os=w10", true, "h", "h", "/check?softwareid=42&os=w10", 80, 0},
      // The fragment stays with the browser; '?' and '#' end the authority.
      {"http://h/page#part", true, "h", "h", "/page", 80, 0},
      {"http://h/page?q=1#part", true, "h", "h", "/page?q=1", 80, 0},
      {"http://h#part", true, "h", "h", "/", 80, 0},
      {"http://h?q=1", true, "h", "h", "/?q=1", 80, 0},
      {"http://h:81?q=1#f", true, "h", "h:81", "/?q=1", 81, 0},
      {"http://h/a%20b/~x", true, "h", "h", "/a%20b/~x", 80, 0},
      {"http://h:0/", false},
      {"http://h:65536/", false},
      {"http://h:99999999999/", false},
      {"http://h:/", false},
      {"http://h:8o/", false},
      {"http://h:-1/", false},
      {"http://h:80:81/", false},
      {"http://:80/", false},
      {"http:///path", false},
      {"http://", false},
      {"http://?q", false},
      {"http://a b/", false},
      {"http://h/a b", false},
      {"http://h/a|b", false},
      {"http://h/\"", false},
      {"http://h/<x>", false},
      {"http://h/a\\b", false},
      {"http://h/^`{}", false},
      {"http://h/\xC3\xA9", false},
      {"http://h/\r\nX: y", false},
      {"ftp://h/", false},
      {"http:/h/", false},
      {"h/", false},
      {"", false},
  };
  for (const UrlCase& c : cases) {
    cHttpRequest r;
    ASSERT_TRUE(r.SetUrl("http://before:1/old"));
    EXPECT_EQ(r.SetUrl(c.url), c.ok) << c.url;
    if (c.ok) {
      EXPECT_EQ(Str(r.host), c.host) << c.url;
      EXPECT_EQ(Str(r.authority), c.authority) << c.url;
      EXPECT_EQ(Str(r.path), c.path) << c.url;
      EXPECT_EQ(r.port, c.port) << c.url;
      EXPECT_EQ(r.tls, c.tls) << c.url;
    } else {
      // A refused address leaves the request as it was.
      EXPECT_EQ(Str(r.host), "before") << c.url;
      EXPECT_EQ(Str(r.path), "/old") << c.url;
      EXPECT_EQ(r.port, 1) << c.url;
    }
  }
  cHttpRequest r;
  EXPECT_FALSE(r.SetUrl(nullptr));
}

TEST(HttpRequest, AGetIsExactlyFourLines) {
  cHttpRequest r("http://example.com:8080/check?softwareid=42&os=w10#top");
  EXPECT_EQ(Built(r),
            "GET /check?softwareid=42&os=w10 HTTP/1.1\r\n"
            "Host: example.com:8080\r\n"
            "User-Agent: QXVNetHTTP (compatible; cross-platform)\r\n"
            "\r\n");
  r.version = cHttpRequest::kHttp10;
  r.userAgent.Assign("Agent/2");
  EXPECT_EQ(Built(r),
            "GET /check?softwareid=42&os=w10 HTTP/1.0\r\n"
            "Host: example.com:8080\r\n"
            "User-Agent: Agent/2\r\n"
            "\r\n");
}

TEST(HttpRequest, HeadersInByteOrderOfTheirNames) {
  cHttpRequest r("http://h/");
  r.SetHeader("X-b", "2");
  r.SetHeader("Accept", "*/*");
  r.SetHeader("X-a", "1");
  r.SetHeader("X-b", "3");
  r.SetHeader("Zz", "");
  EXPECT_EQ(Built(r),
            "GET / HTTP/1.1\r\nHost: h\r\nUser-Agent: QXVNetHTTP (compatible; cross-platform)\r\n"
            "Accept: */*\r\nX-a: 1\r\nX-b: 3\r\nZz: \r\n\r\n");
}

TEST(HttpRequest, MultipartPost) {
  cHttpRequest r("http://h/upload");
  r.method = cHttpRequest::kPost;
  r.AddFormPart("field", nullptr, nullptr, "value", 5);
  r.AddFormPart("file", "application/octet-stream", "filename=\"a.bin\"", "\x00\x01\r\n", 4);
  const std::string text = Built(r);

  const std::string typeLine = "Content-Type: multipart/form-data; boundary=";
  const size_t at = text.find(typeLine);
  ASSERT_NE(at, std::string::npos) << text;
  const size_t end = text.find("\r\n", at);
  const std::string boundary = text.substr(at + typeLine.size(), end - at - typeLine.size());
  EXPECT_EQ(boundary.rfind("----qxvnethttp", 0), 0u) << boundary;
  EXPECT_EQ(boundary.substr(boundary.size() - 4), "----");
  const std::string hex = boundary.substr(14, boundary.size() - 18);
  EXPECT_FALSE(hex.empty());
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;

  const std::string body = "--" + boundary + "\r\n" +
                           "Content-Disposition: form-data; name=\"field\"\r\n"
                           "\r\n"
                           "value\r\n"
                           "--" + boundary + "\r\n" +
                           "Content-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
                           "Content-Type: application/octet-stream\r\n"
                           "\r\n" +
                           std::string("\x00\x01\r\n", 4) + "\r\n" +
                           "--" + boundary + "--\r\n\r\n";
  const std::string expected = "POST /upload HTTP/1.1\r\nHost: h\r\n"
                               "User-Agent: QXVNetHTTP (compatible; cross-platform)\r\n" +
                               typeLine + boundary + "\r\n" +
                               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  EXPECT_EQ(text, expected);
}

TEST(HttpRequest, APostWithoutPartsHasNoBody) {
  cHttpRequest r("http://h/x");
  r.method = cHttpRequest::kPost;
  EXPECT_EQ(Built(r), "POST /x HTTP/1.1\r\nHost: h\r\nUser-Agent: QXVNetHTTP (compatible; cross-platform)\r\n\r\n");
  // A GET ignores parts.
  r.method = cHttpRequest::kGet;
  r.AddFormPart("a", nullptr, nullptr, "b", 1);
  EXPECT_EQ(Built(r), "GET /x HTTP/1.1\r\nHost: h\r\nUser-Agent: QXVNetHTTP (compatible; cross-platform)\r\n\r\n");
}

TEST(HttpRequest, BuildRefuses) {
  struct Case {
    const char* what;
    void (*spoil)(cHttpRequest&);
  } cases[] = {
      {"no address", [](cHttpRequest& r) { r.Reset("bad"); }},
      {"method 2", [](cHttpRequest& r) { r.method = 2; }},
      {"version 2", [](cHttpRequest& r) { r.version = 2; }},
      {"version -1", [](cHttpRequest& r) { r.version = -1; }},
      {"LF in a header value", [](cHttpRequest& r) { r.SetHeader("X", "a\nEvil: 1"); }},
      {"CR in a header value", [](cHttpRequest& r) { r.SetHeader("X", "a\r"); }},
      {"CRLF in a header name", [](cHttpRequest& r) { r.SetHeader("X\r\nEvil", "1"); }},
      {"empty header name", [](cHttpRequest& r) { r.SetHeader("", "1"); }},
      {"LF in the user agent", [](cHttpRequest& r) { r.userAgent.Assign("UA\n"); }},
      {"CR in a part name",
       [](cHttpRequest& r) {
         r.method = cHttpRequest::kPost;
         r.AddFormPart("n\r", nullptr, nullptr, "", 0);
       }},
      {"LF in a part type",
       [](cHttpRequest& r) {
         r.method = cHttpRequest::kPost;
         r.AddFormPart("n", "text/plain\n", nullptr, "", 0);
       }},
      {"LF in a part tail",
       [](cHttpRequest& r) {
         r.method = cHttpRequest::kPost;
         r.AddFormPart("n", nullptr, "filename=\"x\"\n", "", 0);
       }},
  };
  for (const Case& c : cases) {
    cHttpRequest r("http://h/");
    c.spoil(r);
    _typebuf<char> out(3);
    char* before = out.data;
    EXPECT_FALSE(r.Build(out)) << c.what;
    EXPECT_EQ(out.data, before) << c.what;
    EXPECT_EQ(out.count, 3) << c.what;
  }
  cHttpRequest empty;
  _typebuf<char> out;
  EXPECT_FALSE(empty.Build(out));
  cHttpRequest bad("http://h:0/");
  EXPECT_FALSE(bad.Build(out));
}

TEST(HttpRequest, ResetStartsOver) {
  cHttpRequest r("https://old:444/a");
  r.method = cHttpRequest::kPost;
  r.version = cHttpRequest::kHttp10;
  r.userAgent.Assign("UA");
  r.SetHeader("X", "1");
  r.AddFormPart("p", nullptr, nullptr, "d", 1);
  ASSERT_TRUE(r.Reset("http://new/b"));
  EXPECT_EQ(r.method, cHttpRequest::kGet);
  EXPECT_EQ(r.tls, 0);
  EXPECT_EQ(r.port, 80);
  EXPECT_EQ(Built(r), "GET /b HTTP/1.1\r\nHost: new\r\nUser-Agent: QXVNetHTTP (compatible; cross-platform)\r\n\r\n");
  EXPECT_FALSE(r.Reset("nonsense"));
  EXPECT_EQ(r.host.text, nullptr);
}

}  // namespace
