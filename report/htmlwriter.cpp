// Writing the run report's HTML.
#include "report/htmlwriter.h"

#include <cstdio>

#include "core/numfmt.h"

namespace karvelo {

std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') break;
        if (c == '\x7f') break;
        out += c;
    }
  }
  return out;
}

std::string UrlEncodedPath(std::string_view path) {
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '_' || c == '.' || c == '/';
    if (safe) {
      out += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      out += hex;
    }
  }
  return out;
}

HtmlWriter::HtmlWriter(std::string_view title, std::string_view style) {
  out_ = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + HtmlEscaped(title) +
         "</title>\n<style>\n" + std::string(style) + "</style>\n</head>\n<body>\n";
}

void HtmlWriter::Heading(int level, std::string_view text, std::string_view id) {
  const std::string tag = "h" + std::to_string(level);
  out_ += "<" + tag + (id.empty() ? std::string() : " id=\"" + HtmlEscaped(id) + "\"") + ">" + HtmlEscaped(text) + "</" + tag + ">\n";
}

void HtmlWriter::Paragraph(std::string_view text, std::string_view cssClass) {
  out_ += "<p" + (cssClass.empty() ? std::string() : " class=\"" + HtmlEscaped(cssClass) + "\"") + ">" + HtmlEscaped(text) + "</p>\n";
}

void HtmlWriter::List(const std::vector<std::string>& items, bool code) {
  if (items.empty()) return;
  out_ += code ? "<ul class=\"code\">\n" : "<ul>\n";
  for (const std::string& item : items) out_ += "<li>" + HtmlEscaped(item) + "</li>\n";
  out_ += "</ul>\n";
}

namespace {

bool LooksNumeric(const std::string& cell) { return ParseReal(Trimmed(cell)).has_value(); }

}  // namespace

void HtmlWriter::Table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                       std::string_view caption) {
  out_ += "<table>\n";
  if (!caption.empty()) out_ += "<caption>" + HtmlEscaped(caption) + "</caption>\n";
  if (!header.empty()) {
    out_ += "<thead><tr>";
    for (const std::string& h : header) out_ += "<th>" + HtmlEscaped(h) + "</th>";
    out_ += "</tr></thead>\n";
  }
  out_ += "<tbody>\n";
  for (const auto& row : rows) {
    out_ += "<tr>";
    for (const std::string& cell : row) {
      out_ += LooksNumeric(cell) ? "<td class=\"n\">" : "<td>";
      out_ += HtmlEscaped(Trimmed(cell)) + "</td>";
    }
    out_ += "</tr>\n";
  }
  out_ += "</tbody>\n</table>\n";
}

void HtmlWriter::Figure(std::string_view dataUri, std::string_view alt, std::string_view caption, std::string_view dataLink) {
  out_ += "<figure>\n<img src=\"" + HtmlEscaped(dataUri) + "\" alt=\"" + HtmlEscaped(alt) + "\">\n<figcaption>" +
          HtmlEscaped(caption);
  if (!dataLink.empty()) out_ += " <a href=\"" + HtmlEscaped(UrlEncodedPath(dataLink)) + "\">Data (CSV)</a>";
  out_ += "</figcaption>\n</figure>\n";
}

void HtmlWriter::OpenSection(std::string_view cssClass) {
  out_ += "<section" + (cssClass.empty() ? std::string() : " class=\"" + HtmlEscaped(cssClass) + "\"") + ">\n";
  ++openSections_;
}

void HtmlWriter::CloseSection() {
  if (openSections_ == 0) return;
  out_ += "</section>\n";
  --openSections_;
}

std::string HtmlWriter::Finish() {
  while (openSections_ > 0) CloseSection();
  out_ += "</body>\n</html>\n";
  return std::move(out_);
}

}  // namespace karvelo
