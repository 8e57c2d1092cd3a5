// Drawings: a sheet of a standard or custom size, with its format.
#include "state.h"

#include "stand_in/paths.h"
#include "stand_in/text.h"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace stand_in {
namespace {

struct Paper {
  const char* name;
  double width, height;  // metres, as the sheet lies
};

constexpr double kInch = 0.0254;
const Paper kPapers[] = {
    {"A", 11 * kInch, 8.5 * kInch},      {"A portrait", 8.5 * kInch, 11 * kInch}, {"B", 17 * kInch, 11 * kInch},
    {"C", 22 * kInch, 17 * kInch},       {"D", 34 * kInch, 22 * kInch},           {"E", 44 * kInch, 34 * kInch},
    {"A4", 0.297, 0.210},                {"A4 portrait", 0.210, 0.297},           {"A3", 0.420, 0.297},
    {"A2", 0.594, 0.420},                {"A1", 0.841, 0.594},                    {"A0", 1.189, 0.841},
};
constexpr LONG kStandardPapers = sizeof kPapers / sizeof kPapers[0];
static_assert(kStandardPapers == hostPaperCustom, "a size for every standard paper code");

// Why the host refuses these arguments; empty when it takes them.
std::string CheckSheet(LONG paperSize, LONG format, bool named, double width, double height) {
  if (paperSize < 0 || paperSize > hostPaperCustom)
    return "paper size " + std::to_string(paperSize) + " is not one of 0 to 12";
  if (format < 0 || format > hostFormatNone) return "sheet format " + std::to_string(format) + " is not one of 0 to 13";
  if (!std::isfinite(width) || width < 0) return "width is not a finite length of 0 or more";
  if (!std::isfinite(height) || height < 0) return "height is not a finite length of 0 or more";
  if (paperSize == hostPaperCustom && (width == 0 || height == 0))
    return "a custom paper size needs a width and a height above 0";
  if (format == hostFormatFromFile && !named) return "sheet format 12 needs a template file, and none is named";
  return {};
}

}  // namespace

const char* PaperName(LONG paperSize) {
  return paperSize >= 0 && paperSize < kStandardPapers ? kPapers[paperSize].name : "custom";
}

STDMETHODIMP ApplicationObject::NewDrawingDocument(LONG paperSize, BSTR templateName, LONG templateIndex,
                                                   double width, double height, IHostDrawingDocument** drawing) {
  return ComNoThrow([&] {
    CallScope call(host_, Op::AppNewDrawingDocument, *this);
    call.Long(paperSize).Text(templateName).Long(templateIndex).Double(width).Double(height);
    call.Out(drawing, nullptr);
    if (call.Faulted()) return call.Fault();
    if (!drawing) return call.Finish(E_POINTER, "drawing is null");
    const std::wstring name = FromBstr(templateName);
    const std::string why = CheckSheet(paperSize, templateIndex, !name.empty(), width, height);
    if (!why.empty()) return call.Finish(E_INVALIDARG, why);
    Sheet sheet;
    sheet.paperSize = paperSize;
    sheet.format = templateIndex;
    if (templateIndex == hostFormatFromFile) {
      const std::string native = NativePath(name);
      std::error_code ec;
      if (!std::filesystem::is_regular_file(native, ec) || !std::ifstream(native, std::ios::binary))
        return call.Finish(E_FAIL, "cannot read the template file '" + native + "'");
      sheet.templateName = name;
    }
    sheet.width = paperSize == hostPaperCustom ? width : kPapers[paperSize].width;
    sheet.height = paperSize == hostPaperCustom ? height : kPapers[paperSize].height;
    auto* made = static_cast<DrawingObject*>(host_.NewDocument(DocumentKind::Drawing, sheet));
    *drawing = HandOut<IHostDrawingDocument>(made);
    return call.Finish(S_OK);
  });
}

}  // namespace stand_in
