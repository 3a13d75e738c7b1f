// CDrawContext on GDI+ (Windows). The coordinates are cairo's: pixel edges at integers, so the
// pixel offset mode is "half" throughout.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/win/Gdiplus.h"

namespace qgui {

namespace {

using Gdiplus::REAL;

Gdiplus::Color colorOf(const CColor& c, float globalAlpha) {
    const int a = static_cast<int>(std::lround(c.alpha * std::clamp(globalAlpha, 0.0f, 1.0f)));
    return Gdiplus::Color(static_cast<BYTE>(a), c.red, c.green, c.blue);
}

Gdiplus::RectF rectF(CCoord l, CCoord t, CCoord w, CCoord h) {
    return Gdiplus::RectF(static_cast<REAL>(l), static_cast<REAL>(t), static_cast<REAL>(w),
                          static_cast<REAL>(h));
}

// The image pixels `from` of `surface` (premultiplied ARGB) resampled bilinearly to `width` x
// `height` pixels, sampling only inside `from` (no colour from a neighbouring frame); null when
// the pixels cannot be had. GDI+ resamples through a general path that is slow on some systems
// (seconds per panel); this is a few multiplications per pixel.
std::unique_ptr<Gdiplus::Bitmap> resampled(Gdiplus::Bitmap& surface, const Gdiplus::Rect& from,
                                           int width, int height) {
    if (width <= 0 || height <= 0 || from.Width <= 0 || from.Height <= 0) return nullptr;
    Gdiplus::BitmapData in{};
    Gdiplus::Rect area(from);
    if (surface.LockBits(&area, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &in) !=
        Gdiplus::Ok)
        return nullptr;
    auto out = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppPARGB);
    Gdiplus::BitmapData to{};
    Gdiplus::Rect all(0, 0, width, height);
    if (out->LockBits(&all, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &to) !=
        Gdiplus::Ok) {
        surface.UnlockBits(&in);
        return nullptr;
    }
    // Source position of a target pixel's centre, held inside the part.
    auto sourceOf = [](int target, int targets, int sources, int& first, double& weight) {
        const double x = std::clamp((target + 0.5) * sources / targets - 0.5, 0.0, sources - 1.0);
        first = std::min(static_cast<int>(x), sources - 2 < 0 ? 0 : sources - 2);
        weight = x - first;
    };
    const auto* source = static_cast<const std::uint8_t*>(in.Scan0);
    for (int y = 0; y < height; ++y) {
        int y0;
        double wy;
        sourceOf(y, height, from.Height, y0, wy);
        const int y1 = std::min(y0 + 1, from.Height - 1);
        const auto* row0 = reinterpret_cast<const std::uint32_t*>(source + y0 * in.Stride);
        const auto* row1 = reinterpret_cast<const std::uint32_t*>(source + y1 * in.Stride);
        auto* target =
            reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(to.Scan0) + y * to.Stride);
        for (int x = 0; x < width; ++x) {
            int x0;
            double wx;
            sourceOf(x, width, from.Width, x0, wx);
            const int x1 = std::min(x0 + 1, from.Width - 1);
            std::uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                auto channel = [shift](std::uint32_t p) { return (p >> shift) & 0xffu; };
                const double top =
                    channel(row0[x0]) + wx * (double(channel(row0[x1])) - channel(row0[x0]));
                const double bottom =
                    channel(row1[x0]) + wx * (double(channel(row1[x1])) - channel(row1[x0]));
                const auto value =
                    static_cast<std::uint32_t>(std::lround(top + wy * (bottom - top)));
                pixel |= std::min(value, 255u) << shift;
            }
            target[x] = pixel;
        }
    }
    out->UnlockBits(&to);
    surface.UnlockBits(&in);
    return out;
}

// A pen in the frame colour with the context's width and style.
std::unique_ptr<Gdiplus::Pen> makePen(const CColor& c, float globalAlpha, CLineStyle style,
                                      CCoord width) {
    auto pen = std::make_unique<Gdiplus::Pen>(colorOf(c, globalAlpha), static_cast<REAL>(width));
    if (style == kLineOnOffDash) {
        const REAL dash[] = {1, 1};  // in line widths
        pen->SetDashPattern(dash, 2);
        pen->SetLineCap(Gdiplus::LineCapFlat, Gdiplus::LineCapFlat, Gdiplus::DashCapFlat);
    } else {
        pen->SetLineCap(Gdiplus::LineCapSquare, Gdiplus::LineCapSquare, Gdiplus::DashCapFlat);
    }
    pen->SetLineJoin(Gdiplus::LineJoinMiter);
    return pen;
}

// The font of `desc` in pixels. A family the system lacks falls back to Arial, then to the
// families Linux systems have (wine without Arial); with none of them there is no text.
struct TextFont {
    explicit TextFont(const CFontDesc& desc)
        : style(((desc.getStyle() & kBoldFace) ? Gdiplus::FontStyleBold : 0) |
                ((desc.getStyle() & kItalicFace) ? Gdiplus::FontStyleItalic : 0)) {
        for (const std::wstring& name :
             {win::wide(desc.getName()), std::wstring(L"Arial"), std::wstring(L"Liberation Sans"),
              std::wstring(L"DejaVu Sans")}) {
            family = std::make_unique<Gdiplus::FontFamily>(name.c_str());
            if (family->IsAvailable()) break;
            family.reset();
        }
        if (!family) return;
        font = std::make_unique<Gdiplus::Font>(family.get(), static_cast<REAL>(desc.getSize()),
                                               style, Gdiplus::UnitPixel);
        const double em = family->GetEmHeight(style);
        ascent = em > 0 ? desc.getSize() * family->GetCellAscent(style) / em : desc.getSize();
        descent = em > 0 ? desc.getSize() * family->GetCellDescent(style) / em : 0;
    }
    INT style;
    std::unique_ptr<Gdiplus::FontFamily> family;
    std::unique_ptr<Gdiplus::Font> font;  // null without any usable family
    double ascent = 0, descent = 0;
};

// Typographic layout (no padding around the text), trailing blanks measured as cairo does.
std::unique_ptr<Gdiplus::StringFormat> textFormat() {
    auto format =
        std::make_unique<Gdiplus::StringFormat>(Gdiplus::StringFormat::GenericTypographic());
    format->SetFormatFlags(format->GetFormatFlags() |
                           Gdiplus::StringFormatFlagsMeasureTrailingSpaces |
                           Gdiplus::StringFormatFlagsNoWrap);
    return format;
}

double advanceOf(Gdiplus::Graphics& g, const std::wstring& text, const TextFont& f,
                 const Gdiplus::StringFormat& format) {
    if (!f.font) return 0;
    Gdiplus::RectF box;
    g.MeasureString(text.c_str(), static_cast<INT>(text.size()), f.font.get(),
                    Gdiplus::PointF(0, 0), &format, &box);
    return box.Width;
}

void drawText(Gdiplus::Graphics& g, const std::wstring& text, const TextFont& f, double x,
              double baseline, const Gdiplus::Color& color, bool antialias,
              const Gdiplus::StringFormat& format) {
    if (!f.font) return;
    g.SetTextRenderingHint(antialias ? Gdiplus::TextRenderingHintAntiAliasGridFit
                                     : Gdiplus::TextRenderingHintSingleBitPerPixelGridFit);
    Gdiplus::SolidBrush brush(color);
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), f.font.get(),
                 Gdiplus::PointF(static_cast<REAL>(x), static_cast<REAL>(baseline - f.ascent)),
                 &format, &brush);
}

// Strokes are drawn with pixel centres at integers (offset mode "none") and the coordinates
// moved by half a pixel, which is the same geometry as offset mode "half" but leaves no stroke
// edge exactly between two pixels, where rasterisers without antialiasing (wine's) round
// differently from Windows.
class StrokeSpace {
  public:
    explicit StrokeSpace(Gdiplus::Graphics& g) : g(g), state(g.Save()) {
        g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
        g.TranslateTransform(-0.5f, -0.5f, Gdiplus::MatrixOrderAppend);
    }
    ~StrokeSpace() { g.Restore(state); }
    StrokeSpace(const StrokeSpace&) = delete;
    StrokeSpace& operator=(const StrokeSpace&) = delete;

  private:
    Gdiplus::Graphics& g;
    Gdiplus::GraphicsState state;
};

}  // namespace

CDrawContext::CDrawContext(NativeSurface* surface, double scale)
    : context(surface && win::startGdiplus() ? new Gdiplus::Graphics(surface) : nullptr),
      scale(scale > 0 ? scale : 1.0) {}

CDrawContext::~CDrawContext() {
    delete context;
}

void CDrawContext::begin() {
    savedState = context->Save();
    context->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    context->ScaleTransform(static_cast<REAL>(scale), static_cast<REAL>(scale));
    if (hasClip)
        context->SetClip(rectF(clipAbsolute.left, clipAbsolute.top, clipAbsolute.getWidth(),
                               clipAbsolute.getHeight()));
    context->TranslateTransform(static_cast<REAL>(origin.x), static_cast<REAL>(origin.y));
    context->SetSmoothingMode(drawMode == kAntiAliasing ? Gdiplus::SmoothingModeAntiAlias
                                                        : Gdiplus::SmoothingModeNone);
}

void CDrawContext::end() {
    context->Restore(savedState);
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
    if (context) {
        begin();
        // Integer coordinates name pixels: an odd line width is centred on the pixel's middle.
        const double half = std::fmod(std::round(lineWidth), 2.0) == 1.0 ? 0.5 : 0.0;
        auto pen = makePen(frameColor, globalAlpha, lineStyle, lineWidth);
        const StrokeSpace space(*context);
        context->DrawLine(pen.get(), static_cast<REAL>(from.x + half),
                          static_cast<REAL>(from.y + half), static_cast<REAL>(to.x + half),
                          static_cast<REAL>(to.y + half));
        end();
    }
    pen = to;
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    if (!context) return;
    begin();
    if (style != kDrawStroked) {
        Gdiplus::SolidBrush brush(colorOf(fillColor, globalAlpha));
        context->FillRectangle(&brush,
                               rectF(rect.left, rect.top, rect.getWidth(), rect.getHeight()));
    }
    if (style != kDrawFilled) {
        const double half = lineWidth / 2;
        auto pen = makePen(frameColor, globalAlpha, lineStyle, lineWidth);
        const StrokeSpace space(*context);
        context->DrawRectangle(pen.get(),
                               rectF(rect.left + half, rect.top + half, rect.getWidth() - lineWidth,
                                     rect.getHeight() - lineWidth));
    }
    end();
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style) {
    if (!context) return;
    begin();
    const Gdiplus::RectF r = rectF(rect.left, rect.top, rect.getWidth(), rect.getHeight());
    if (style != kDrawStroked) {
        Gdiplus::SolidBrush brush(colorOf(fillColor, globalAlpha));
        context->FillEllipse(&brush, r);
    }
    if (style != kDrawFilled) {
        auto pen = makePen(frameColor, globalAlpha, lineStyle, lineWidth);
        const StrokeSpace space(*context);
        context->DrawEllipse(pen.get(), r);
    }
    end();
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align,
                              bool antialias) {
    if (!text || !*text || !context) return;
    begin();
    const std::wstring w = win::wide(text);
    const TextFont f(currentFont);
    const auto format = textFormat();
    const double advance = advanceOf(*context, w, f, *format);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - advance) / 2;
    else if (align == kRightText)
        x = rect.right - advance;
    const double y = rect.top + (rect.getHeight() - (f.ascent + f.descent)) / 2 + f.ascent;
    drawText(*context, w, f, snap(x), snap(y), colorOf(fontColor, globalAlpha), antialias, *format);
    end();
}

void CDrawContext::drawString(const char* text, const CPoint& point, bool antialias) {
    if (!text || !*text || !context) return;
    begin();
    const TextFont f(currentFont);
    drawText(*context, win::wide(text), f, point.x, point.y, colorOf(fontColor, globalAlpha),
             antialias, *textFormat());
    end();
}

CCoord CDrawContext::getStringWidth(const char* text) {
    if (!text || !*text || !context) return 0;
    const TextFont f(currentFont);
    return advanceOf(*context, win::wide(text), f, *textFormat());
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset,
                              float alpha) {
    if (!bitmap || !bitmap->isLoaded() || dest.isEmpty() || !context) return;
    // The image's design pixel (0, 0) lands at `corner`.
    const CPoint corner(dest.left - offset.x, dest.top - offset.y);
    const int density = bitmap->densityFor(scale);
    const float opacity = std::clamp(alpha * globalAlpha, 0.0f, 1.0f);
    Gdiplus::ImageAttributes attributes;
    Gdiplus::ColorMatrix fade = {{{1, 0, 0, 0, 0},
                                  {0, 1, 0, 0, 0},
                                  {0, 0, 1, 0, 0},
                                  {0, 0, 0, opacity, 0},
                                  {0, 0, 0, 0, 1}}};
    if (opacity < 1) attributes.SetColorMatrix(&fade);
    const bool exact = std::fabs(density - scale) < 1e-9;
    bitmap->forEachPart(density, dest, offset, [&](const CBitmap::Piece& piece, const CRect& part) {
        // The part's place in device pixels (edges rounded, so neighbouring parts meet).
        const auto device = [this](CCoord v) { return static_cast<int>(std::lround(v * scale)); };
        const int left = device(origin.x + corner.x + part.left);
        const int top = device(origin.y + corner.y + part.top);
        const int width = device(origin.x + corner.x + part.right) - left;
        const int height = device(origin.y + corner.y + part.bottom) - top;
        const Gdiplus::Rect from(static_cast<INT>(part.left * density),
                                 static_cast<INT>((part.top - piece.rect.top) * density),
                                 static_cast<INT>(part.getWidth() * density),
                                 static_cast<INT>(part.getHeight() * density));
        // Drawn in device space, one image pixel to one device pixel (the clip set by begin()
        // stays): at the image's own density the piece itself, else the part resampled to the
        // device's density first.
        std::unique_ptr<Gdiplus::Bitmap> scaled;
        if (!exact) {
            scaled = resampled(*piece.surface, from, width, height);
            if (!scaled) return;
        }
        begin();
        context->ResetTransform();
        context->SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
        context->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        const Gdiplus::Rect to(left, top, width, height);
        if (exact)
            context->DrawImage(piece.surface, to, from.X, from.Y, from.Width, from.Height,
                               Gdiplus::UnitPixel, opacity < 1 ? &attributes : nullptr);
        else
            context->DrawImage(scaled.get(), to, 0, 0, width, height, Gdiplus::UnitPixel,
                               opacity < 1 ? &attributes : nullptr);
        end();
    });
}

void CDrawContext::clearRect(const CRect& rect) {
    if (!context) return;
    const auto state = context->Save();
    context->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    context->ScaleTransform(static_cast<REAL>(scale), static_cast<REAL>(scale));
    context->TranslateTransform(static_cast<REAL>(origin.x), static_cast<REAL>(origin.y));
    context->SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    Gdiplus::SolidBrush clear(Gdiplus::Color(0, 0, 0, 0));
    context->FillRectangle(&clear, rectF(rect.left, rect.top, rect.getWidth(), rect.getHeight()));
    context->Restore(state);
}

}  // namespace qgui
