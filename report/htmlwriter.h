// A small writer of one HTML page: every text it is given is escaped, every tag closed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace karvelo {

// Text for an HTML element or a quoted attribute: & < > " ' as entities, control bytes other
// than tab and line breaks dropped (no valid page holds them).
std::string HtmlEscaped(std::string_view text);

class HtmlWriter {
 public:
  // Starts the document: doctype, head with the title and the inline style sheet.
  HtmlWriter(std::string_view title, std::string_view style);

  void Heading(int level, std::string_view text, std::string_view id = {});
  void Paragraph(std::string_view text, std::string_view cssClass = {});
  // A list of items, each escaped; `code` sets them in a monospace block that wraps.
  void List(const std::vector<std::string>& items, bool code = false);
  // A table with a header row; cells that look like numbers are right-aligned.
  void Table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
             std::string_view caption = {});
  // A figure: an embedded picture (a data: URI), its caption and, when given, a link to its data.
  void Figure(std::string_view dataUri, std::string_view alt, std::string_view caption, std::string_view dataLink = {});
  // Markup made by the caller from escaped parts (a legend bar).
  void Raw(std::string_view html) { out_ += html; }
  void OpenSection(std::string_view cssClass = {});
  void CloseSection();

  // Closes the document and returns it.
  std::string Finish();

 private:
  std::string out_;
  int openSections_ = 0;
};

// The relative link to a file of the page's folder: every byte outside the safe set as %XX.
std::string UrlEncodedPath(std::string_view path);

}  // namespace karvelo
