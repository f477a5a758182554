#include "LevelPlot.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "NoteNames.h"
#include "uMaths.h"

namespace {
constexpr int kWidth = 1600;
constexpr int kHeight = 720;
constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 16;
constexpr int kTopMargin = 36;
constexpr int kBottomMargin = 40;
constexpr int kGap = 24;

// A step between time labels that gives about ten of them.
double TimeStep(double seconds) {
  static const double steps[] = {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1,   2,    5,    10,
                                 15,   30,   60,   120, 300, 600, 900, 1800, 3600, 7200};
  for (double s : steps) {
    if (seconds / s <= 12) return s;
  }
  return 14400;
}

QString TimeLabel(double t, double step) {
  if (step >= 60) {
    const int total = static_cast<int>(std::lround(t));
    return QString::asprintf("%d:%02d", total / 60, total % 60);
  }
  if (step >= 1) return QString::asprintf("%.0f s", t);
  if (step >= 0.1) return QString::asprintf("%.1f s", t);
  return QString::asprintf("%.2f s", t);
}

struct TPanel {
  QRect area;
  double min_db;
  double Y(double db) const {
    const double f = (std::clamp(db, min_db, 0.0) - min_db) / (0.0 - min_db);
    return area.bottom() - f * area.height();
  }
};

const QColor kNoteColour(20, 140, 60);

// Hit detection's threshold between frames `from` and `to`: for each pixel column the highest it
// was there, as a line, labelled left of the fixed threshold's label at `label_y`.
void DrawHitThreshold(QPainter& p, const TPlotInput& in, int side, const TPanel& panel, int plot_w,
                      uint64_t from, uint64_t to, double label_y) {
  if (!in.HitThresholds || in.HitThresholds->empty()) return;
  const uint64_t step = std::max<uint32_t>(in.HitThresholdStep, 1);
  const double frames = static_cast<double>(to - from);
  std::vector<double> column(static_cast<size_t>(plot_w), -1000);
  bool any = false;
  double last = in.Threshold[side];  // where the line starts: the value just before `from`
  for (size_t i = 0; i < in.HitThresholds->size(); ++i) {
    const float db = (*in.HitThresholds)[i][side];
    if (std::isnan(db)) continue;
    any = true;
    const uint64_t frame = (i + 1) * step;
    if (frame < from) {
      last = db;
      continue;
    }
    if (frame > to) break;
    const int x = std::clamp(static_cast<int>(static_cast<double>(frame - from) / frames * plot_w),
                             0, plot_w - 1);
    column[static_cast<size_t>(x)] = std::max(column[static_cast<size_t>(x)], double{db});
  }
  if (!any) return;
  QPolygonF line;
  for (int x = 0; x < plot_w; ++x) {
    double db = column[static_cast<size_t>(x)];
    if (db < -999) db = last;
    last = db;
    line << QPointF(panel.area.left() + x + 0.5, panel.Y(db));
  }
  p.setPen(QPen(QColor(230, 130, 20), 1.2));
  p.drawPolyline(line);
  p.drawText(QRectF(panel.area.right() - 260, label_y, 116, 16), Qt::AlignRight, "hit threshold");
}
}  // namespace

double NoiseFloorDb(const std::vector<std::array<float, 2>>& levels) {
  std::vector<float> all;
  all.reserve(levels.size() * 2);
  for (const auto& pair : levels) {
    for (float db : pair)
      if (std::isfinite(db)) all.push_back(db);
  }
  if (all.empty()) return FloorDb(32767);
  auto tenth = all.begin() + static_cast<long>(all.size() / 10);
  std::nth_element(all.begin(), tenth, all.end());
  return *tenth;
}

bool WriteLevelPlot(const TPlotInput& in, const std::string& path, std::string& error) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(QColor(250, 250, 247));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QFont font = p.font();
  font.setPixelSize(12);
  p.setFont(font);

  // The part shown.
  const uint64_t from = std::min(in.FromFrame, in.TotalFrames);
  uint64_t to = in.ToFrame ? std::min(in.ToFrame, in.TotalFrames) : in.TotalFrames;
  if (to <= from) to = from + 1;
  const double rate = in.SampleRate ? in.SampleRate : 1;
  const double first_second = from / rate;
  const double last_second = to / rate;

  const int plot_w = kWidth - kLeftMargin - kRightMargin;
  const int panel_h = (kHeight - kTopMargin - kBottomMargin - kGap) / 2;
  const std::vector<std::array<float, 2>> no_levels;
  const auto& levels = in.Levels ? *in.Levels : no_levels;
  // From a little below the take's noise floor (in whole 6 dB steps), and low enough for both
  // thresholds: quiet takes are not squeezed into the top of the picture.
  const double lowest = std::min({NoiseFloorDb(levels), static_cast<double>(in.Threshold[0]),
                                  static_cast<double>(in.Threshold[1])});
  const double min_db = std::clamp(std::floor((lowest - 6) / 6.0) * 6, -150.0, -12.0);

  p.setPen(Qt::black);
  p.drawText(QRect(kLeftMargin, 6, plot_w, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString(in.Title));

  const double frames = static_cast<double>(to - from);
  auto x_of_frame = [&](double frame) { return kLeftMargin + (frame - from) / frames * plot_w; };
  auto shown = [&](uint64_t frame) { return frame >= from && frame <= to; };

  for (int side = 0; side < 2; ++side) {
    TPanel panel{QRect(kLeftMargin, kTopMargin + side * (panel_h + kGap), plot_w, panel_h), min_db};
    p.fillRect(panel.area, Qt::white);
    p.save();
    p.setClipRect(panel.area.adjusted(0, -20, 0, 0));
    // dB grid.
    p.setPen(QColor(225, 225, 225));
    for (double db = 0; db >= min_db; db -= 6) {
      p.drawLine(QPointF(panel.area.left(), panel.Y(db)), QPointF(panel.area.right(), panel.Y(db)));
    }
    p.restore();
    p.setPen(QColor(90, 90, 90));
    const double label_step = min_db < -60 ? 24 : 12;
    for (double db = 0; db >= min_db; db -= label_step) {
      p.drawText(QRectF(0, panel.Y(db) - 8, kLeftMargin - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                 QString::asprintf("%.0f dB", db));
    }
    p.save();
    p.setClipRect(panel.area.adjusted(0, -22, 0, 0));

    // Where each note-on fell, faint behind the levels.
    if (in.Notes) {
      p.setPen(QColor(20, 140, 60, 60));
      for (const TRenderNote& n : *in.Notes) {
        if (n.Side != side || !shown(n.OnFrame)) continue;
        const double x = x_of_frame(static_cast<double>(n.OnFrame));
        p.drawLine(QPointF(x, panel.area.top() + 16), QPointF(x, panel.area.bottom()));
      }
    }

    // Levels: for each pixel column the loudest block it covers, filled down from there.
    if (!levels.empty()) {
      std::vector<double> column(static_cast<size_t>(plot_w), -1000);
      const uint64_t block = std::max<uint32_t>(in.BlockFrames, 1);
      const size_t first_block = static_cast<size_t>(from / block);
      for (size_t b = first_block; b < levels.size() && b * block < to; ++b) {
        const double frame = std::max<double>(static_cast<double>(b * block), from);
        const int x = std::clamp(static_cast<int>((frame - from) / frames * plot_w), 0, plot_w - 1);
        column[static_cast<size_t>(x)] =
            std::max(column[static_cast<size_t>(x)], static_cast<double>(levels[b][side]));
      }
      p.setPen(QColor(70, 120, 190));
      double last = min_db;
      for (int x = 0; x < plot_w; ++x) {
        double db = column[static_cast<size_t>(x)];
        if (db < -999) db = last;  // a block wider than a pixel keeps drawing
        last = db;
        p.drawLine(QPointF(kLeftMargin + x + 0.5, panel.area.bottom()),
                   QPointF(kLeftMargin + x + 0.5, panel.Y(db)));
      }
    }

    // Threshold.
    QPen dashed(QColor(200, 40, 40), 1.5, Qt::DashLine);
    p.setPen(dashed);
    const double ty = panel.Y(in.Threshold[side]);
    p.drawLine(QPointF(panel.area.left(), ty), QPointF(panel.area.right(), ty));
    p.drawText(QRectF(panel.area.right() - 140, ty - 18, 136, 16), Qt::AlignRight,
               QString::asprintf("threshold %d dB", in.Threshold[side]));
    DrawHitThreshold(p, in, side, panel, plot_w, from, to, ty - 18);

    // Notes: a mark at the note-on with the note's name and velocity above it, a bar along the
    // top to the note-off, which ends in a tick.
    if (in.Notes) {
      int last_label_x = -1000;
      for (const TRenderNote& n : *in.Notes) {
        if (n.Side != side || n.OnFrame > to || n.OffFrame < from) continue;
        const double x_on = x_of_frame(static_cast<double>(std::max(n.OnFrame, from)));
        const double x_off = x_of_frame(static_cast<double>(std::min(n.OffFrame, to)));
        const double bar_y = panel.area.top() + 20.5;
        p.setPen(QPen(kNoteColour, 2));
        p.drawLine(QPointF(x_on, bar_y), QPointF(std::max(x_off, x_on + 1), bar_y));
        if (shown(n.OffFrame)) {
          p.setPen(QPen(QColor(190, 60, 30), 1.5));
          p.drawLine(QPointF(x_off, bar_y - 4), QPointF(x_off, bar_y + 4));
        }
        if (!shown(n.OnFrame)) continue;
        p.setPen(QPen(kNoteColour, 1));
        p.setBrush(kNoteColour);
        const QPointF tri[3] = {{x_on - 4, panel.area.top() + 10.0},
                                {x_on + 4, panel.area.top() + 10.0},
                                {x_on, panel.area.top() + 17.0}};
        p.drawPolygon(tri, 3);
        p.setBrush(Qt::NoBrush);
        if (x_on - last_label_x >= 52) {  // labels that would overlap are left out
          const QString label =
              QString::fromStdString(EnglishNoteName(n.Note)) + " " + QString::number(n.Velocity);
          p.drawText(QRectF(x_on - 26, panel.area.top() - 8, 52, 16), Qt::AlignHCenter, label);
          last_label_x = static_cast<int>(x_on);
        }
      }
    }
    p.restore();
    // The side's name on the band of silence at the bottom.
    p.setPen(Qt::white);
    p.drawText(panel.area.adjusted(6, 0, 0, -3), Qt::AlignLeft | Qt::AlignBottom,
               side == 0 ? "left" : "right");
    p.setPen(QColor(120, 120, 120));
    p.drawRect(panel.area);
  }

  // Time axis, in seconds from the take's start.
  const int axis_y = kHeight - kBottomMargin;
  p.setPen(QColor(60, 60, 60));
  const double span = last_second - first_second;
  const double step = TimeStep(span);
  for (double t = std::ceil(first_second / step - 1e-9) * step; t <= last_second + 1e-9;
       t += step) {
    const double x = kLeftMargin + (span > 0 ? (t - first_second) / span : 0) * plot_w;
    p.drawLine(QPointF(x, axis_y - 4), QPointF(x, axis_y + 2));
    p.drawText(QRectF(x - 40, axis_y + 4, 80, 16), Qt::AlignHCenter, TimeLabel(t, step));
  }
  p.end();

  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
    error = file.errorString().toStdString();
    if (error.empty() || error == "Unknown error") error = "cannot write the picture";
    return false;
  }
  return true;
}
