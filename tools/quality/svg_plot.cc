#include "quality/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantik::tool::quality {
namespace {

constexpr double kWidth = 520, kHeight = 340;
constexpr double kLeft = 56, kRight = 150, kTop = 28, kBottom = 44;

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

std::string Tick(double v) {
  char buf[32];
  if (std::fabs(v) >= 100 || v == std::floor(v)) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
  } else {
    std::snprintf(buf, sizeof buf, "%.3g", v);
  }
  return buf;
}

// A round step giving about five ticks over `span`.
double TickStep(double span) {
  const double raw = span / 5;
  const double p = std::pow(10, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (raw <= m * p) return m * p;
  }
  return 10 * p;
}

}  // namespace

std::string Html(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

SvgPlot::SvgPlot(std::string title, std::string xLabel, std::string yLabel, double x0, double x1,
                 double y0, double y1)
    : title_(std::move(title)), xLabel_(std::move(xLabel)), yLabel_(std::move(yLabel)),
      x0_(x0), x1_(x1 > x0 ? x1 : x0 + 1), y0_(y0), y1_(y1 > y0 ? y1 : y0 + 1) {}

double SvgPlot::Sx(double x) const {
  x = std::clamp(x, x0_, x1_);
  return kLeft + (x - x0_) / (x1_ - x0_) * (kWidth - kLeft - kRight);
}

double SvgPlot::Sy(double y) const {
  y = std::clamp(y, y0_, y1_);
  return kHeight - kBottom - (y - y0_) / (y1_ - y0_) * (kHeight - kTop - kBottom);
}

void SvgPlot::Line(const std::vector<std::pair<double, double>>& points, const std::string& colour,
                   const std::string& label, bool dashed) {
  if (points.empty()) return;
  body_ += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\"";
  if (dashed) body_ += " stroke-dasharray=\"5 3\"";
  body_ += " points=\"";
  for (const auto& [x, y] : points) body_ += Num(Sx(x)) + "," + Num(Sy(y)) + " ";
  body_ += "\"/>\n";
  legend_.emplace_back(colour, label);
}

void SvgPlot::Points(const std::vector<std::pair<double, double>>& points, const std::string& colour,
                     const std::string& label) {
  for (const auto& [x, y] : points) {
    body_ += "<circle r=\"2.2\" fill=\"" + colour + "\" cx=\"" + Num(Sx(x)) + "\" cy=\"" +
             Num(Sy(y)) + "\"/>";
  }
  body_ += "\n";
  legend_.emplace_back(colour, label);
}

void SvgPlot::HGuide(double y, const std::string& text) {
  if (y < y0_ || y > y1_) return;
  body_ += "<line stroke=\"#999\" stroke-dasharray=\"2 2\" x1=\"" + Num(Sx(x0_)) + "\" x2=\"" +
           Num(Sx(x1_)) + "\" y1=\"" + Num(Sy(y)) + "\" y2=\"" + Num(Sy(y)) + "\"/>";
  body_ += "<text font-size=\"9\" fill=\"#666\" x=\"" + Num(Sx(x1_) - 2) + "\" y=\"" +
           Num(Sy(y) - 2) + "\" text-anchor=\"end\">" + Html(text) + "</text>\n";
}

void SvgPlot::VGuide(double x, const std::string& text) {
  if (x < x0_ || x > x1_) return;
  body_ += "<line stroke=\"#999\" stroke-dasharray=\"2 2\" x1=\"" + Num(Sx(x)) + "\" x2=\"" +
           Num(Sx(x)) + "\" y1=\"" + Num(Sy(y0_)) + "\" y2=\"" + Num(Sy(y1_)) + "\"/>";
  body_ += "<text font-size=\"9\" fill=\"#666\" x=\"" + Num(Sx(x) + 2) + "\" y=\"" +
           Num(Sy(y1_) + 10) + "\">" + Html(text) + "</text>\n";
}

std::string SvgPlot::Render() const {
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(kWidth) +
                  "\" height=\"" + Num(kHeight) + "\" font-family=\"sans-serif\">\n";
  s += "<text x=\"" + Num(kLeft) + "\" y=\"16\" font-size=\"12\" font-weight=\"bold\">" +
       Html(title_) + "</text>\n";
  s += "<rect fill=\"none\" stroke=\"#333\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) +
       "\" width=\"" + Num(kWidth - kLeft - kRight) + "\" height=\"" +
       Num(kHeight - kTop - kBottom) + "\"/>\n";
  const double xs = TickStep(x1_ - x0_), ys = TickStep(y1_ - y0_);
  for (double x = std::ceil(x0_ / xs) * xs; x <= x1_ + xs * 1e-9; x += xs) {
    s += "<line stroke=\"#ddd\" x1=\"" + Num(Sx(x)) + "\" x2=\"" + Num(Sx(x)) + "\" y1=\"" +
         Num(Sy(y0_)) + "\" y2=\"" + Num(Sy(y1_)) + "\"/>";
    s += "<text font-size=\"9\" text-anchor=\"middle\" x=\"" + Num(Sx(x)) + "\" y=\"" +
         Num(Sy(y0_) + 12) + "\">" + Tick(std::fabs(x) < xs * 1e-9 ? 0 : x) + "</text>\n";
  }
  for (double y = std::ceil(y0_ / ys) * ys; y <= y1_ + ys * 1e-9; y += ys) {
    s += "<line stroke=\"#ddd\" x1=\"" + Num(Sx(x0_)) + "\" x2=\"" + Num(Sx(x1_)) + "\" y1=\"" +
         Num(Sy(y)) + "\" y2=\"" + Num(Sy(y)) + "\"/>";
    s += "<text font-size=\"9\" text-anchor=\"end\" x=\"" + Num(kLeft - 4) + "\" y=\"" +
         Num(Sy(y) + 3) + "\">" + Tick(std::fabs(y) < ys * 1e-9 ? 0 : y) + "</text>\n";
  }
  s += "<text font-size=\"10\" text-anchor=\"middle\" x=\"" + Num((kLeft + kWidth - kRight) / 2) +
       "\" y=\"" + Num(kHeight - 8) + "\">" + Html(xLabel_) + "</text>\n";
  s += "<text font-size=\"10\" text-anchor=\"middle\" transform=\"translate(14," +
       Num((kTop + kHeight - kBottom) / 2) + ") rotate(-90)\">" + Html(yLabel_) + "</text>\n";
  s += body_;
  double ly = kTop + 8;
  for (const auto& [colour, label] : legend_) {
    s += "<rect width=\"10\" height=\"3\" fill=\"" + colour + "\" x=\"" +
         Num(kWidth - kRight + 10) + "\" y=\"" + Num(ly - 3) + "\"/>";
    s += "<text font-size=\"10\" x=\"" + Num(kWidth - kRight + 24) + "\" y=\"" + Num(ly + 1) +
         "\">" + Html(label) + "</text>\n";
    ly += 14;
  }
  s += "</svg>\n";
  return s;
}

}  // namespace vantik::tool::quality
