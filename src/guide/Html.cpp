// The guide as one web page: pictures embedded as the JPEG files they are,
// the marker as SVG over them, so nothing is re-encoded and nothing loads
// from elsewhere.
#include <cstdlib>
#include <string>

#include "guide/GuideParts.h"

namespace guide::detail {

namespace {

void Escape(std::string& out, const std::string& text)
{
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '\r': break;
        default: out += c;
        }
    }
}

void Base64(std::string& out, const std::vector<uint8_t>& in)
{
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out.reserve(out.size() + (in.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        out += k[v >> 18];
        out += k[(v >> 12) & 63];
        out += k[(v >> 6) & 63];
        out += k[v & 63];
    }
    if (i < in.size()) {
        uint32_t v = uint32_t(in[i]) << 16 | (i + 1 < in.size() ? uint32_t(in[i + 1]) << 8 : 0);
        out += k[v >> 18];
        out += k[(v >> 12) & 63];
        out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
        out += '=';
    }
}

// The language of the user's locale, as a language tag's first part.
std::string Language()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v)
            continue;
        std::string s(v);
        size_t end = s.find_first_of("_.@");
        s = s.substr(0, end);
        bool letters = s.size() >= 2 && s.size() <= 3;
        for (char c : s)
            letters = letters && c >= 'a' && c <= 'z';
        return letters ? s : "en";
    }
    return "en";
}

const char* kStyle =
    "body{font-family:system-ui,sans-serif;line-height:1.45;margin:0;color:#1a1a1a;"
    "background:#fff}"
    "main{max-width:60rem;margin:0 auto;padding:1rem}"
    "h1{font-size:1.8rem;margin:.5rem 0 1rem}"
    "ol.steps{list-style:none;padding:0;margin:0}"
    ".step{margin:0 0 2rem;break-inside:avoid;page-break-inside:avoid}"
    ".step h2{font-size:1.25rem;margin:0 0 .4rem}"
    ".step p{margin:0 0 .3rem;white-space:pre-wrap;overflow-wrap:anywhere}"
    "figure{margin:.5rem 0 0}"
    ".shot{position:relative;display:inline-block;max-width:100%;line-height:0}"
    ".shot img{display:block;max-width:100%;height:auto;border:1px solid #bbb}"
    ".shot svg{position:absolute;left:0;top:0;width:100%;height:100%;pointer-events:none}"
    ".missing{display:flex;align-items:center;justify-content:center;text-align:center;"
    "background:#eee;border:2px dashed #933;color:#933;padding:2rem 1rem;line-height:1.4;"
    "overflow-wrap:anywhere}"
    "@media print{main{max-width:none;padding:0}.step{break-inside:avoid}"
    ".shot img{border:none}}";

} // namespace

void WriteHtml(const TGuide& guide, const std::string& target, const TGuideOptions& options,
               TGuideReport& report)
{
    TTempFile tmp(target);
    const int total = int(guide.Steps.size());
    Step(options, 0, total);
    std::string out = "<!DOCTYPE html>\n<html lang=\"" + Language() + "\">\n<head>\n"
                      "<meta charset=\"utf-8\">\n"
                      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                      "<title>";
    Escape(out, guide.Title);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<main>\n<h1>";
    Escape(out, guide.Title);
    out += "</h1>\n<ol class=\"steps\">\n";
    for (const TStep& s : guide.Steps) {
        const std::string n = std::to_string(s.Number);
        out += "<li class=\"step\" id=\"step-" + n + "\">\n<h2>Step " + n + "</h2>\n";
        if (s.Captioned)
            for (const std::string& line : Lines(s.Text)) {
                out += "<p>";
                Escape(out, line);
                out += "</p>\n";
            }
        TPicture pic = LoadPicture(s.PicturePath);
        out += "<figure>";
        if (!pic.Ok) {
            report.Missing.push_back({s.Number, s.PicturePath, pic.Why});
            out += "<div class=\"missing\" role=\"img\" aria-label=\"";
            Escape(out, s.Text);
            out += "\">";
            Escape(out, MissingText(s.PicturePath));
            out += "</div>";
        } else {
            const std::string w = std::to_string(pic.Width), h = std::to_string(pic.Height);
            out += "<div class=\"shot\"><img src=\"data:image/jpeg;base64,";
            Base64(out, pic.Jpeg);
            out += "\" width=\"" + w + "\" height=\"" + h + "\" alt=\"";
            Escape(out, s.Text);
            out += "\">";
            if (auto p = PointerOn(s, pic.Width, pic.Height)) {
                const double r = MarkerRadius(pic.Width, pic.Height);
                char ring[512];
                std::snprintf(ring, sizeof ring,
                              "<svg viewBox=\"0 0 %d %d\" aria-hidden=\"true\">"
                              "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" "
                              "stroke=\"#1a1a1a\" stroke-opacity=\"0.9\" stroke-width=\"%.1f\"/>"
                              "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" "
                              "stroke=\"#ffd600\" stroke-width=\"%.1f\"/></svg>",
                              pic.Width, pic.Height, p->first, p->second, r, r * 0.42, p->first,
                              p->second, r, r * 0.2);
                out += ring;
            }
            out += "</div>";
        }
        out += "</figure>\n</li>\n";
        Step(options, s.Number, total);
    }
    out += "</ol>\n</main>\n</body>\n</html>\n";
    WriteBytes(tmp.Path(), out.data(), out.size(), target);
    tmp.Commit();
}

} // namespace guide::detail
