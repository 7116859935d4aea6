// The tests' pages on 127.0.0.1: plain pages, and pages that do their worst
// to the browser that shows them.

#include <chrono>
#include <thread>

#include "harness.h"

namespace sorvane::gtktest {

namespace {

using testing::Response;

struct Page {
  std::string headers;  // empty: not found
  std::string body;
  std::string status = "200 OK";
};

const std::string kHtml = "Content-Type: text/html; charset=utf-8\r\n";

std::string solidPage(const std::string& rgb) {
  return "<!doctype html><html><body style='margin:0;background:#" + rgb + "'></body></html>";
}

// The scripted pages are green once their script has run to the end.
std::string scriptPage(const std::string& script, const std::string& head = {}) {
  return "<!doctype html><html><head>" + head +
         "</head><body style='margin:0;background:#ff0000'><script>" + script +
         "\ndocument.body.style.background = '#00ff00';</script></body></html>";
}

Page pageFor(const std::string& path) {
  if (path == "/halves")
    return {
        kHtml,
        "<!doctype html><html><body style='margin:0'>"
        "<div style='position:fixed;left:0;top:0;width:50%;height:100%;background:#ff0000'></div>"
        "<div style='position:fixed;right:0;top:0;width:50%;height:100%;background:#0000ff'></div>"
        "</body></html>"};
  if (path == "/blue") return {kHtml, solidPage("0000ff")};
  if (path == "/green") return {kHtml, solidPage("00ff00")};
  // /solid/rrggbb: a page of one colour.
  if (path.rfind("/solid/", 0) == 0 && path.size() == 13) return {kHtml, solidPage(path.substr(7))};
  if (path == "/link")
    return {kHtml,
            "<!doctype html><html><body style='margin:0;height:3000px;background:#ff0000'>"
            "<a href='/blue' style='position:fixed;left:0;top:0;right:0;bottom:0;"
            "background:#ff0000'>go</a></body></html>"};
  if (path == "/dialogs")
    return {kHtml,
            "<!doctype html><html><body style='margin:0'><script>"
            "alert('a'); var ok = confirm('c'); prompt('p', 'd');"
            "document.body.style.background = ok ? '#00ff00' : '#ffff00';"
            "window.print();</script></body></html>"};
  if (path == "/popup")
    return {kHtml,
            "<!doctype html><html><body style='margin:0;background:#00ff00'><script>"
            "window.open('/blue', 'other');</script></body></html>"};
  if (path == "/download")
    return {
        "Content-Type: application/octet-stream\r\n"
        "Content-Disposition: attachment; filename=\"sorvane-download.bin\"\r\n",
        "not to be saved"};
  if (path == "/download-html")
    return {kHtml + "Content-Disposition: attachment; filename=\"sorvane-download.html\"\r\n",
            "<html><body>not to be saved</body></html>"};
  if (path == "/unknown-type")
    return {"Content-Type: application/x-sorvane-unknown\r\n", "sorvane-unknown bytes"};
  if (path == "/long")
    return {kHtml,
            "<!doctype html><html><body style='margin:0;height:5000px;background:#ffffff'>"
            "</body></html>"};

  // --- Hostile pages -------------------------------------------------------
  if (path == "/alerts")
    return {kHtml, scriptPage("for (var i = 0; i < 300; i++) {"
                              "  alert(i); confirm('leave?'); prompt('name', 'x'); }"
                              "setInterval(function () {"
                              "  alert('again'); confirm('again'); prompt('again'); }, 1);")};
  // A script that never ends: the page never finishes loading.
  if (path == "/alerts-forever") return {kHtml, scriptPage("for (;;) alert('forever');")};
  if (path == "/spin") return {kHtml, scriptPage("for (;;) {}")};
  // A sentence of Chinese with no character set named anywhere, in GBK and in
  // UTF-8 bytes: green when the page reads its text as written, red otherwise.
  if (path == "/unlabelled-gbk" || path == "/unlabelled-utf8") {
    const std::string text = path == "/unlabelled-gbk"
                                 ? "\xD6\xD0\xCE\xC4\xCD\xF8\xD2\xB3\xC3\xBB\xD3\xD0\xC9\xF9\xC3\xF7\xD7\xD6\xB7\xFB\xBC\xAF\xCA\xB1\xA3\xAC\xE4\xAF\xC0\xC0\xC6\xF7\xD3\xA6\xB8\xC3\xB0\xB4\xD5\xD5\xD6\xD0\xCE\xC4\xB6\xC1\xD5\xDF\xB5\xC4\xCF\xB0\xB9\xDF\xC0\xB4\xCF\xD4\xCA\xBE\xA1\xA3"
                                 : "中文网页没有声明字符集时，浏览器应该按照中文读者的习惯来显示。";
    return {"Content-Type: text/html\r\n",
            "<!doctype html><html><body style='margin:0;background:#ff0000'><p id=t>" + text +
                "</p><script>if (document.getElementById('t').textContent == '\\u4E2D\\u6587\\u7F51\\u9875\\u6CA1\\u6709\\u58F0\\u660E\\u5B57\\u7B26\\u96C6\\u65F6\\uFF0C\\u6D4F\\u89C8\\u5668\\u5E94\\u8BE5\\u6309\\u7167\\u4E2D\\u6587\\u8BFB\\u8005\\u7684\\u4E60\\u60EF\\u6765\\u663E\\u793A\\u3002')"
                " document.body.style.background = '#00ff00';</script></body></html>"};
  }
  if (path == "/beforeunload")
    return {kHtml, scriptPage("function trap(e) {"
                              "  e.preventDefault(); e.returnValue = 'stay'; alert('stay');"
                              "  return 'stay'; }"
                              "window.onbeforeunload = trap;"
                              "addEventListener('beforeunload', trap);"
                              "addEventListener('unload', function () {"
                              "  window.open('/popup-target?unload'); alert('unload'); });")};
  if (path == "/popups")
    return {kHtml,
            scriptPage("for (var i = 0; i < 200; i++)"
                       "  window.open('/popup-target?' + i, '_blank', 'width=300,height=200');"
                       "var a = document.createElement('a');"
                       "a.href = '/popup-target?link'; a.target = '_blank';"
                       "document.documentElement.appendChild(a); a.click();"
                       "var f = document.createElement('form');"
                       "f.action = '/popup-target'; f.target = 'elsewhere';"
                       "document.documentElement.appendChild(f); f.submit();"
                       "setInterval(function () { window.open('/popup-target?timer'); }, 1);")};
  if (path == "/closer")
    return {kHtml, scriptPage("window.close(); self.close(); top.close();"
                              "setInterval(function () { window.close(); }, 1);")};
  if (path == "/refresh-now")
    return {kHtml, solidPage("00ff00") + "<meta http-equiv='refresh' content='0'>"};
  if (path == "/refresh-soon")
    return {kHtml,
            solidPage("00ff00") + "<meta http-equiv='refresh' content='1;url=/refresh-soon'>"};
  if (path == "/redirect-loop") return {"Location: /redirect-loop\r\n", "", "302 Found"};
  // Grows by 200 MB a step while an image that never arrives keeps the page
  // loading; it only stops when its process is gone (or, as a safety net for
  // the machine, at 8 GB).
  if (path == "/memory-hog")
    return {kHtml,
            "<!doctype html><html><body style='margin:0;background:#ff0000'>"
            "<img src='/endless?hog'><script>var hoard = [];"
            "function grow() {"
            "  if (hoard.length >= 320) return;"
            "  for (var i = 0; i < 8; i++) hoard.push(new Uint8Array(26214400).fill(i + 1));"
            "  setTimeout(grow, 0); }"
            "grow();</script></body></html>"};
  return {};
}

// A page that starts at once and then trickles a byte of comment every 100 ms
// for as long as anyone listens.
Response endlessPage() {
  Response page = Response::page(kHtml, solidPage("ff00ff") + "<!--");
  page.more = []() -> std::optional<std::string> {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return "-";
  };
  return page;
}

// 50 MB of paragraphs, made as they are sent. They lie in a hidden block: the
// engine parses them all, but laying out a million paragraphs would take it a
// minute on a small machine and several gigabytes.
Response hugePage() {
  constexpr size_t kSize = 50u * 1024u * 1024u;
  std::string head =
      "<!doctype html><html><body style='margin:0;background:#0000ff'><div style='display:none'>";
  Response page = Response::page(kHtml + "Content-Length: " + std::to_string(kSize) + "\r\n", head);
  page.more = [left = kSize - head.size(), n = size_t{0}]() mutable -> std::optional<std::string> {
    if (left == 0) return std::nullopt;
    std::string chunk;
    chunk.reserve(70000);
    while (chunk.size() < 65536)
      chunk += "<p>line " + std::to_string(n++) + " of a page of fifty megabytes</p>\n";
    if (chunk.size() > left) chunk.resize(left);
    left -= chunk.size();
    return chunk;
  };
  return page;
}

Response answerPage(const testing::Request& request) {
  if (request.path == "/endless") return endlessPage();
  if (request.path == "/huge") return hugePage();
  Page page = pageFor(request.path);
  if (page.headers.empty()) return Response::notFound();
  return Response::page(page.headers, page.body, page.status);
}

// Whatever the client says (a TLS hello), the answer is noise.
Response answerGarbage(const testing::Request&) {
  std::string noise;
  unsigned state = 12345;
  for (int i = 0; i < 16384; ++i) {
    state = state * 1103515245u + 12345u;
    noise += static_cast<char>(state >> 16);
  }
  return Response::bytes("HTTP/1.1 200 OK\r\n\r\n" + noise);
}

}  // namespace

PageServer::PageServer()
    : pages_(&answerPage),
      silent_([](const testing::Request&) { return Response::silence(); },
              testing::Await::Nothing),
      garbage_(&answerGarbage, testing::Await::Anything) {}

std::string PageServer::garbageTlsUrl() const {
  return "https://127.0.0.1:" + std::to_string(garbage_.port()) + "/";
}

}  // namespace sorvane::gtktest
