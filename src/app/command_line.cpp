#include "app/command_line.h"

#include <cmath>

namespace ktv {

namespace {

// Longer waits are surely typing mistakes; a screenshot run should end.
constexpr double kMaxAfterSeconds = 3600;

}  // namespace

bool ParseCommandLine(const QStringList& arguments, tCommandLine& line, QString& error) {
  line = {};
  bool afterGiven = false, backendGiven = false;
  bool optionsEnded = false;
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
      if (!a.isEmpty()) line.Sources << a;  // an empty argument names nothing
    } else if (a == QLatin1String("--")) {
      optionsEnded = true;
    } else if (a == QLatin1String("--screenshot") && hasValue) {
      line.ScreenshotDir = arguments[++i];
    } else if (a == QLatin1String("--after") && hasValue) {
      bool ok = false;
      line.AfterSeconds = arguments[++i].toDouble(&ok);
      if (!ok || !std::isfinite(line.AfterSeconds) || line.AfterSeconds < 0 ||
          line.AfterSeconds > kMaxAfterSeconds) {
        error = QStringLiteral("--after takes a number of seconds from 0 to 3600");
        return false;
      }
      afterGiven = true;
    } else if (a == QLatin1String("--backend") && hasValue) {
      const QString kind = arguments[++i];
      if (kind != QLatin1String("gl") && kind != QLatin1String("raster")) {
        error = QStringLiteral("--backend takes gl or raster");
        return false;
      }
      line.UseDirectX = kind == QLatin1String("gl");
      backendGiven = true;
    } else {
      error = QStringLiteral("unknown argument: ") + a;
      return false;
    }
  }
  if (line.ScreenshotDir.isEmpty() && (afterGiven || backendGiven)) {
    error = QStringLiteral("--after and --backend belong to --screenshot");
    return false;
  }
  return true;
}

}  // namespace ktv
