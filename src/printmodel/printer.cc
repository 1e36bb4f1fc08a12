#include "printmodel/printer.h"

#include "printmodel/gamut_map.h"

namespace vantik::printmodel {

Lab ModelPrinter::Print(const std::array<double, kInks>& ink) const {
  return RelativeLab(model_, model_.Predict(ink));
}

}  // namespace vantik::printmodel
