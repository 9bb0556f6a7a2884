#include "api/SignInPage.h"

#include "api/ServiceTexts.h"

namespace wrenly::speech {

namespace {

// The page's address holds the single-use state: it never goes to another site as a referrer.
// Not "no-referrer": under it a browser posts the page's own form with `Origin: null`, which
// the decision must refuse.
std::string page(std::string_view title, std::string_view body) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"zh-Hant-HK\"><head><meta charset=\"utf-8\">"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
      "<meta name=\"referrer\" content=\"same-origin\"><title>";
  html += htmlEscaped(title);
  html +=
      "</title><style>body{font-family:sans-serif;max-width:32em;margin:4em auto;padding:0 1em;"
      "line-height:1.6}button{font-size:1em;padding:.5em 1.2em;margin-right:.6em}</style>"
      "</head><body><h1>";
  html += htmlEscaped(title);
  html += "</h1>";
  html += body;
  html += "</body></html>\n";
  return html;
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
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
      default:
        out += c;
    }
  }
  return out;
}

std::string signInPage(std::string_view action, std::string_view state) {
  std::string body = "<p>" + htmlEscaped(texts::signInExplanation) + "</p>";
  body += "<form method=\"post\" action=\"" + htmlEscaped(action) + "\">";
  body += "<input type=\"hidden\" name=\"state\" value=\"" + htmlEscaped(state) + "\">";
  body += "<button type=\"submit\" name=\"decision\" value=\"allow\" autofocus>" +
          htmlEscaped(texts::allowButton) + "</button>";
  body += "<button type=\"submit\" name=\"decision\" value=\"deny\">" +
          htmlEscaped(texts::denyButton) + "</button></form>";
  return page(texts::signInTitle, body);
}

std::string expiredSignInPage() {
  return page(texts::expiredTitle, "<p>" + htmlEscaped(texts::expiredExplanation) + "</p>");
}

std::string returningPage(std::string_view callback) {
  return page(texts::doneTitle, "<p>" + htmlEscaped(texts::doneExplanation) + "</p><p><a href=\"" +
                                    htmlEscaped(callback) + "\">" + htmlEscaped(texts::returnLink) +
                                    "</a></p>");
}

std::string privacyPage() {
  std::string body;
  for (std::string_view paragraph : texts::privacyParagraphs) {
    body += "<p>" + htmlEscaped(paragraph) + "</p>";
  }
  return page(texts::privacyTitle, body);
}

}  // namespace wrenly::speech
