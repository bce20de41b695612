// HTML as the text a mail client shows for it: markup, comments, scripts,
// style sheets and hidden elements gone, character references decoded,
// white space collapsed as a browser does, and line breaks where blocks,
// <br> and rows end. Pure functions, any thread; nothing fails (any input
// gives some text).
#pragma once

#include <string>
#include <string_view>

namespace quelta_host {

// The text of an HTML document given as UTF-8, as UTF-8 with LF line ends:
// - <script>, <style>, <title>, <template> and comments show nothing, nor
//   does an element with the attribute hidden or a style with
//   "display:none";
// - <br> ends a line; p, div, li, tr, headings, lists, tables and the other
//   block elements start and end lines (p, headings, lists, tables and
//   quotes with an empty line between), table cells are separated by a blank;
// - outside <pre> runs of white space become one blank and lines carry no
//   blanks at their ends; inside <pre> the text is kept as it is;
// - named references of HTML 4 (with ";", or without it for the Latin-1
//   names) and numeric ones (&#233; &#xE9;, 0x80..0x9F read as
//   Windows-1252) are decoded; an unknown one stays as written;
// - a "<" that begins no markup is text.
std::string HtmlToText(std::string_view html);

// The charset an HTML document names for itself in a <meta> element
// (charset="..." or http-equiv content "...; charset=..."); "" when none.
std::string HtmlMetaCharset(std::string_view html);

}  // namespace quelta_host
