#include "LevelPlot.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

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
// Hit detection's threshold: for each pixel column the highest it was there, as a line.
void DrawHitThreshold(QPainter& p, const TPlotInput& in, int side, const TPanel& panel, int plot_w,
                      double frames) {
  if (!in.HitThresholds || in.HitThresholds->empty()) return;
  std::vector<double> column(static_cast<size_t>(plot_w), -1000);
  bool any = false;
  for (size_t i = 0; i < in.HitThresholds->size(); ++i) {
    const float db = (*in.HitThresholds)[i][side];
    if (std::isnan(db)) continue;
    any = true;
    const double frame = static_cast<double>(i + 1) * in.HitThresholdStep;
    const int x = std::clamp(static_cast<int>(frame / frames * plot_w), 0, plot_w - 1);
    column[static_cast<size_t>(x)] = std::max(column[static_cast<size_t>(x)], double{db});
  }
  if (!any) return;
  QPolygonF line;
  double last = in.Threshold[side];
  for (int x = 0; x < plot_w; ++x) {
    double db = column[static_cast<size_t>(x)];
    if (db < -999) db = last;
    last = db;
    line << QPointF(panel.area.left() + x + 0.5, panel.Y(db));
  }
  p.setPen(QPen(QColor(230, 130, 20), 1.2));
  p.drawPolyline(line);
  p.drawText(QRectF(panel.area.right() - 240, panel.area.top() + 2, 236, 16), Qt::AlignRight,
             "seuil de frappe");
}
}  // namespace

bool WriteLevelPlot(const TPlotInput& in, const std::string& path, std::string& error) {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(QColor(250, 250, 247));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QFont font = p.font();
  font.setPixelSize(12);
  p.setFont(font);

  const double seconds = in.SampleRate ? static_cast<double>(in.TotalFrames) / in.SampleRate : 0.0;
  const int plot_w = kWidth - kLeftMargin - kRightMargin;
  const int panel_h = (kHeight - kTopMargin - kBottomMargin - kGap) / 2;
  // The quietest level a block can have is -90.3 dB; a lower threshold widens the scale.
  const double min_db =
      std::min(-96.0, std::floor((std::min(in.Threshold[0], in.Threshold[1]) - 6) / 6.0) * 6);

  p.setPen(Qt::black);
  p.drawText(QRect(kLeftMargin, 6, plot_w, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString(in.Title));

  const double frames = std::max<double>(1, static_cast<double>(in.TotalFrames));
  auto x_of_frame = [&](double frame) { return kLeftMargin + frame / frames * plot_w; };
  const std::vector<std::array<float, 2>> no_levels;
  const auto& levels = in.Levels ? *in.Levels : no_levels;

  for (int side = 0; side < 2; ++side) {
    TPanel panel{QRect(kLeftMargin, kTopMargin + side * (panel_h + kGap), plot_w, panel_h), min_db};
    p.fillRect(panel.area, Qt::white);
    // dB grid.
    p.setPen(QColor(225, 225, 225));
    for (double db = 0; db >= min_db; db -= 12) {
      p.drawLine(QPointF(panel.area.left(), panel.Y(db)), QPointF(panel.area.right(), panel.Y(db)));
    }
    p.setPen(QColor(90, 90, 90));
    for (double db = 0; db >= min_db; db -= 24) {
      p.drawText(QRectF(0, panel.Y(db) - 8, kLeftMargin - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                 QString::asprintf("%.0f dB", db));
    }

    // Where each note-on fell, faint behind the levels.
    if (in.Notes) {
      p.setPen(QColor(20, 140, 60, 60));
      for (const TRenderNote& n : *in.Notes) {
        if (n.Side != side) continue;
        const double x = x_of_frame(static_cast<double>(n.OnFrame));
        p.drawLine(QPointF(x, panel.area.top() + 16), QPointF(x, panel.area.bottom()));
      }
    }

    // Levels: for each pixel column the loudest block it covers, filled down from there.
    if (!levels.empty()) {
      std::vector<double> column(static_cast<size_t>(plot_w), -1000);
      for (size_t b = 0; b < levels.size(); ++b) {
        const double frame = static_cast<double>(b) * in.BlockFrames;
        const int x = std::clamp(static_cast<int>(frame / frames * plot_w), 0, plot_w - 1);
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
    p.drawText(QRectF(panel.area.right() - 120, ty - 18, 116, 16), Qt::AlignRight,
               QString::asprintf("seuil %d dB", in.Threshold[side]));
    DrawHitThreshold(p, in, side, panel, plot_w, frames);

    // Note-ons: a mark at the hit's frame, the velocity above it.
    if (in.Notes) {
      int last_label_x = -1000;
      for (const TRenderNote& n : *in.Notes) {
        if (n.Side != side) continue;
        const double x = x_of_frame(static_cast<double>(n.OnFrame));
        p.setPen(QPen(QColor(20, 140, 60), 1));
        p.setBrush(QColor(20, 140, 60));
        const QPointF tri[3] = {{x - 4, panel.area.top() + 10.0},
                                {x + 4, panel.area.top() + 10.0},
                                {x, panel.area.top() + 17.0}};
        p.drawPolygon(tri, 3);
        p.setBrush(Qt::NoBrush);
        if (x - last_label_x >= 22) {  // labels that would overlap are left out
          p.drawText(QRectF(x - 20, panel.area.top() - 6, 40, 16), Qt::AlignHCenter,
                     QString::number(n.Velocity));
          last_label_x = static_cast<int>(x);
        }
      }
    }
    // The side's name on the band of silence at the bottom.
    p.setPen(Qt::white);
    p.drawText(panel.area.adjusted(6, 0, 0, -3), Qt::AlignLeft | Qt::AlignBottom,
               side == 0 ? "G (gauche)" : "D (droite)");
    p.setPen(QColor(120, 120, 120));
    p.drawRect(panel.area);
  }

  // Time axis.
  const int axis_y = kHeight - kBottomMargin;
  p.setPen(QColor(60, 60, 60));
  const double step = TimeStep(seconds);
  for (double t = 0; t <= seconds + 1e-9; t += step) {
    const double x = kLeftMargin + (seconds > 0 ? t / seconds : 0) * plot_w;
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
