// Small line and scatter plots as inline SVG for the quality report.
#pragma once

#include <string>
#include <vector>

namespace vantik::tool::quality {

class SvgPlot {
 public:
  SvgPlot(std::string title, std::string xLabel, std::string yLabel, double x0, double x1,
          double y0, double y1);
  // A polyline through the points (x, y); `dashed` for reference lines.
  void Line(const std::vector<std::pair<double, double>>& points, const std::string& colour,
            const std::string& label, bool dashed = false);
  // One marker per point.
  void Points(const std::vector<std::pair<double, double>>& points, const std::string& colour,
              const std::string& label);
  // A horizontal or vertical guide line, unlabelled in the legend.
  void HGuide(double y, const std::string& text);
  void VGuide(double x, const std::string& text);
  std::string Render() const;

 private:
  double Sx(double x) const;
  double Sy(double y) const;

  std::string title_, xLabel_, yLabel_;
  double x0_, x1_, y0_, y1_;
  std::string body_;
  std::vector<std::pair<std::string, std::string>> legend_;  // colour, label
};

// Escapes &, <, > and quotes for HTML text and attributes.
std::string Html(const std::string& text);

}  // namespace vantik::tool::quality
