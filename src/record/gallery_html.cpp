#include "record/gallery_html.h"

#include <cstdio>
#include <cstdlib>

#include "services/codepage.h"

namespace sorvane::record::html {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string number(std::uint64_t n) { return std::to_string(n); }

const char* pageEndWords(PageEnd end) {
  switch (end) {
    case PageEnd::Loaded: return "已载入";
    case PageEnd::TimedOut: return "载入超时";
    case PageEnd::Failed: return "载入失败";
    case PageEnd::Blank: return "空白页";
  }
  return "";
}

const char* noPictureWords(NoPicture why) {
  switch (why) {
    case NoPicture::NotTaken:
      return "没有截图：本次运行没有勾选“截图”";
    case NoPicture::NotSaved:
      return "没有截图：截图无法取得或无法保存";
    case NoPicture::Unknown:
      break;
  }
  return "没有截图：没有勾选“截图”，或截图无法保存";
}

// Kept short: the page is rewritten after every page of a run.
constexpr std::string_view kStyle =
    "body{font:14px/1.5 sans-serif;margin:0 16px 32px;background:#f3f3f3;color:#222}"
    "h1{font-size:22px;margin:16px 0 4px}h2{font-size:17px;margin:0}"
    "nav{margin:10px 0}nav button{font:inherit;padding:2px 14px;margin-right:6px;"
    "border:1px solid #888;border-radius:3px;background:#fff;cursor:pointer}"
    "nav button[aria-pressed=true]{background:#333;color:#fff}"
    "section{margin-top:22px}.sum{margin:2px 0 8px;color:#555}"
    ".cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(250px,1fr));gap:12px}"
    ".card{background:#fff;border:1px solid #ccc;border-radius:4px;padding:8px;min-width:0}"
    ".card.changed{border:3px solid #d40000;padding:6px}"
    ".thumb{display:block;height:200px;background:#e8e8e8}"
    ".thumb img{display:block;width:100%;height:100%;object-fit:contain;object-position:top}"
    ".none{display:flex;align-items:center;justify-content:center;padding:0 12px;color:#666}"
    ".url{margin:6px 0 2px;overflow-wrap:anywhere}.meta{margin:0;color:#555;font-size:13px}"
    ".changed .change{color:#d40000;font-weight:bold}.notloaded .end{color:#a05000}"
    "body.f-changed .card:not(.changed),body.f-notloaded .card:not(.notloaded){display:none}";

// The filter: a class on the body that the style above acts on. Without
// script the buttons stay hidden and every card shows.
constexpr std::string_view kScript =
    "var nav=document.querySelector('nav');nav.hidden=false;"
    "nav.onclick=function(e){var f=e.target.getAttribute('data-f');if(f===null)return;"
    "document.body.className=f&&'f-'+f;"
    "[].forEach.call(nav.children,function(b){b.setAttribute('aria-pressed',b===e.target)});"
    "[].forEach.call(document.querySelectorAll('section'),function(s){"
    "s.hidden=f!==''&&!s.querySelector('.card.'+f)})};";

}  // namespace

std::string escape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 16);
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default: {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F)
          out += kReplacement;
        else
          out += c;
      }
    }
  }
  return out;
}

bool linkable(std::string_view address) {
  return startsWithNoCase(address, "http:") || startsWithNoCase(address, "https:") ||
         startsWithNoCase(address, "file:");
}

std::string fileReference(std::string_view utf8Name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8Name.size() * 3);
  auto escapeByte = [&](unsigned char u) {
    out += '%';
    out += kHex[u >> 4];
    out += kHex[u & 15];
  };
  for (std::size_t i = 0; i < utf8Name.size();) {
    const auto u = static_cast<unsigned char>(utf8Name[i]);
    if (u >= 0x80) {
      // A character beyond ASCII is written as itself: one browser reads an
      // escape in a file: address as UTF-8, another in the system's code
      // page, but both take the page's own characters for what they are.
      const std::size_t length = utf8CodePage().charLength(utf8Name, i);
      if (length > 1 && isValidUtf8(utf8Name.substr(i, length))) {
        out.append(utf8Name.substr(i, length));
        i += length;
      } else {
        escapeByte(u);
        ++i;
      }
      continue;
    }
    // An ASCII escape means the same in every code page.
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
        u == '.' || u == '_' || u == '~')
      out += static_cast<char>(u);
    else
      escapeByte(u);
    ++i;
  }
  // "." and ".." alone would name a folder, not a file.
  if (out == "." || out == "..") return out == "." ? "%2E" : "%2E%2E";
  return out;
}

bool changed(std::string_view change) {
  if (change.empty() || change.front() < '0' || change.front() > '9') return false;
  return std::strtod(std::string(change).c_str(), nullptr) > 0.0;
}

void RunCounts::count(std::optional<PageEnd> end, bool changedPage) {
  ++pages;
  if (changedPage) ++changed;
  if (!end) return;
  switch (*end) {
    case PageEnd::Loaded: ++loaded; break;
    case PageEnd::TimedOut: ++timedOut; break;
    case PageEnd::Failed: ++failed; break;
    case PageEnd::Blank: ++blank; break;
  }
}

std::string card(const Card& c) {
  const bool isChanged = changed(c.change);
  const bool notLoaded = c.end != PageEnd::Loaded;
  std::string out = "<article class=\"card";
  if (isChanged) out += " changed";
  if (notLoaded) out += " notloaded";
  out += "\">";
  if (c.picture.empty()) {
    out += "<div class=\"thumb none\">";
    out += noPictureWords(c.why);
    out += "</div>";
  } else {
    const std::string ref = fileReference(c.picture);
    out += "<a class=\"thumb\" href=\"" + ref + "\"><img loading=\"lazy\" src=\"" + ref +
           "\" alt=\"截图文件 " + escape(c.picture) + " 不在文件夹里\"></a>";
  }
  const std::string url = escape(c.url);
  out += "<p class=\"url\">";
  if (linkable(c.url))
    out += "<a href=\"" + url + "\" rel=\"noreferrer\">" + url + "</a>";
  else
    out += url;
  out += "</p><p class=\"meta\"><time>" + escape(c.time) + "</time> · <span class=\"end\">";
  out += c.end ? std::string(pageEndWords(*c.end)) : escape(c.otherEnd);
  out += "</span>";
  if (!c.change.empty()) {
    out += " · <span class=\"change\">";
    if (c.change == "new")
      out += "首次截图";
    else if (isChanged)
      out += "变化 " + escape(c.change) + "%";
    else if (c.change == "0.0")
      out += "无变化";
    else
      out += escape(c.change);
    out += "</span>";
  }
  if (!c.changePicture.empty())
    out += " · <a class=\"diff\" href=\"" + fileReference(c.changePicture) + "\">变化处</a>";
  out += "</p></article>\n";
  return out;
}

std::string pageStart(std::size_t runs, std::size_t pages, std::uint64_t earlier) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width\">"
      "<meta name=\"referrer\" content=\"no-referrer\"><title>截图记录</title><style>";
  out += kStyle;
  out += "</style></head><body>\n<h1>截图记录</h1><p class=\"sum\">";
  out += number(runs) + " 次运行，" + number(pages) + " 页，最近的在前。";
  // The record's own name, in UTF-8 whatever the code page of its bytes.
  if (earlier > 0)
    out += "更早的 " + number(earlier) + " 页没有列在这里，见 <a href=\"" +
           fileReference("截图记录.csv") + "\">截图记录.csv</a>。";
  out +=
      "</p>\n<nav hidden><button type=\"button\" data-f=\"\" aria-pressed=\"true\">全部</button>"
      "<button type=\"button\" data-f=\"changed\" aria-pressed=\"false\">有变化</button>"
      "<button type=\"button\" data-f=\"notloaded\" aria-pressed=\"false\">未载入</button>"
      "</nav>\n";
  return out;
}

std::string runStart(std::string_view startedAt, const RunCounts& n, bool cut,
                     std::string_view engine) {
  std::string out = "<section><h2>" + escape(startedAt) + " 的运行</h2><p class=\"sum\">";
  if (!engine.empty()) out += "网页由 " + escape(engine) + " 绘制。";
  out += "共 " + number(n.pages) + " 页";
  if (cut) out += "（这次运行更早的页没有列在这里）";
  out += "：载入 " + number(n.loaded) + "，变化 " + number(n.changed) + "，超时 " +
         number(n.timedOut) + "，失败 " + number(n.failed) + "，空白 " + number(n.blank) +
         "</p>\n<div class=\"cards\">\n";
  return out;
}

std::string runEnd() { return "</div></section>\n"; }

std::string pageEnd() {
  std::string out = "<script>";
  out += kScript;
  out += "</script>\n</body></html>\n";
  return out;
}

}  // namespace sorvane::record::html
