// Build-time converter: renders an SVG with librsvg into a Cairo image and writes it as an "RI"
// colour image (premultiplied R, G, B, A) or an "RM" mask (coverage = alpha), optionally with
// a PNG preview. Extra CSS can be appended to the document, so one drawing yields variants.
//
//   svg2raw ri|rm WIDTH HEIGHT IN.svg OUT.raw [--style FILE.css]... [--css TEXT]...
//           [--keep X,Y,W,H]... [--png PREVIEW.png]
//
// --keep makes every pixel outside the listed rectangles transparent (overlays carry only
// their patches). Exit status 0 on success, 1 on any failure with a message on stderr.
#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct Options {
  bool mask = false;
  int width = 0;
  int height = 0;
  std::string input;
  std::string output;
  std::string css;
  std::vector<Rect> keep;
  std::string png;
};

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "svg2raw: %s\n", message.c_str());
  std::exit(1);
}

bool readFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int parseSize(const char* text) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!end || *end != '\0' || v < 1 || v > 65535) fail(std::string("bad size: ") + text);
  return static_cast<int>(v);
}

Rect parseRect(const std::string& text) {
  Rect r;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &r.x, &r.y, &r.w, &r.h, &tail) != 4 || r.w < 1 ||
      r.h < 1)
    fail("bad rectangle: " + text);
  return r;
}

Options parseArgs(int argc, char** argv) {
  if (argc < 6) {
    fail(
        "usage: svg2raw ri|rm WIDTH HEIGHT IN.svg OUT.raw [--style FILE]... [--css TEXT]... "
        "[--keep X,Y,W,H]... [--png FILE]");
  }
  Options o;
  std::string format = argv[1];
  if (format != "ri" && format != "rm") fail("format must be ri or rm");
  o.mask = format == "rm";
  o.width = parseSize(argv[2]);
  o.height = parseSize(argv[3]);
  o.input = argv[4];
  o.output = argv[5];
  for (int i = 6; i < argc; ++i) {
    std::string flag = argv[i];
    if (i + 1 >= argc) fail("missing value after " + flag);
    std::string value = argv[++i];
    if (flag == "--style") {
      std::string text;
      if (!readFile(value, text)) fail("cannot read " + value);
      o.css += text + "\n";
    } else if (flag == "--css") {
      o.css += value + "\n";
    } else if (flag == "--keep") {
      o.keep.push_back(parseRect(value));
    } else if (flag == "--png") {
      o.png = value;
    } else {
      fail("unknown option " + flag);
    }
  }
  return o;
}

// Appends the extra rules as the document's last style element, so that they win over the
// drawing's own rules of equal specificity.
std::string withStyle(std::string svg, const std::string& css) {
  if (css.empty()) return svg;
  size_t close = svg.rfind("</svg>");
  if (close == std::string::npos) fail("no closing </svg> tag");
  svg.insert(close, "<style type=\"text/css\"><![CDATA[\n" + css + "]]></style>\n");
  return svg;
}

cairo_surface_t* render(const Options& o) {
  std::string svg;
  if (!readFile(o.input, svg)) fail("cannot read " + o.input);
  svg = withStyle(std::move(svg), o.css);

  GError* error = nullptr;
  GFile* base = g_file_new_for_path(o.input.c_str());
  GInputStream* stream =
      g_memory_input_stream_new_from_data(svg.data(), static_cast<gssize>(svg.size()), nullptr);
  RsvgHandle* handle =
      rsvg_handle_new_from_stream_sync(stream, base, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
  g_object_unref(stream);
  g_object_unref(base);
  if (!handle) fail(o.input + ": " + (error ? error->message : "cannot parse"));

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, o.width, o.height);
  cairo_t* cr = cairo_create(surface);
  RsvgRectangle viewport{0, 0, static_cast<double>(o.width), static_cast<double>(o.height)};
  bool ok = rsvg_handle_render_document(handle, cr, &viewport, &error);
  cairo_destroy(cr);
  g_object_unref(handle);
  if (!ok) fail(o.input + ": " + (error ? error->message : "cannot render"));
  cairo_surface_flush(surface);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) fail("cairo surface error");
  return surface;
}

// Clears everything outside the kept rectangles, in the Cairo surface itself so that the
// preview shows exactly what is stored.
void applyKeep(cairo_surface_t* surface, const std::vector<Rect>& keep) {
  if (keep.empty()) return;
  int w = cairo_image_surface_get_width(surface);
  int h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      bool inside = false;
      for (const Rect& r : keep) inside = inside || r.contains(x, y);
      if (!inside) row[x] = 0;
    }
  }
  cairo_surface_mark_dirty(surface);
}

// Cairo's ARGB32 is one native-endian 32-bit word per pixel, already premultiplied; reading it
// as a word (not as bytes) keeps this right on either byte order.
std::vector<uint8_t> encode(cairo_surface_t* surface, bool mask) {
  int w = cairo_image_surface_get_width(surface);
  int h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  std::vector<uint8_t> out;
  out.reserve(6 + static_cast<size_t>(w) * h * (mask ? 1 : 4));
  out.push_back('R');
  out.push_back(mask ? 'M' : 'I');
  out.push_back(static_cast<uint8_t>(w & 0xFF));
  out.push_back(static_cast<uint8_t>(w >> 8));
  out.push_back(static_cast<uint8_t>(h & 0xFF));
  out.push_back(static_cast<uint8_t>(h >> 8));
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      uint32_t p = row[x];
      auto a = static_cast<uint8_t>(p >> 24);
      if (mask) {
        out.push_back(a);
      } else {
        out.push_back(static_cast<uint8_t>(p >> 16));
        out.push_back(static_cast<uint8_t>(p >> 8));
        out.push_back(static_cast<uint8_t>(p));
        out.push_back(a);
      }
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options o = parseArgs(argc, argv);
  cairo_surface_t* surface = render(o);
  applyKeep(surface, o.keep);
  std::vector<uint8_t> bytes = encode(surface, o.mask);

  // Write to a temporary name first so that a failed run never leaves a half file that the
  // build would take as up to date.
  std::string temp = o.output + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + temp);
  }
  // std::rename does not replace an existing file on Windows; this one does everywhere.
  std::error_code renamed;
  std::filesystem::rename(temp, o.output, renamed);
  if (renamed) fail("cannot rename to " + o.output);
  if (!o.png.empty() && cairo_surface_write_to_png(surface, o.png.c_str()) != CAIRO_STATUS_SUCCESS)
    fail("cannot write " + o.png);
  cairo_surface_destroy(surface);
  return 0;
}
