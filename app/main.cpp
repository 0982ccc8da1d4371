#include "app/alarm_options.h"
#include "app/log_tools.h"
#include "app/run_start.h"
#include "calibration/calibration_history.h"
#include "console/frm_main.h"
#include "instrument/clock.h"
#include "state/operator_messages.h"
#include "instrument/system_line.h"
#include "logging/log_export.h"
#include "publish/mqtt_publisher.h"
#include "sim/simulated_bus.h"
#include "stations/station_window.h"
#include "widgets/two_state_switch.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QSysInfo>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

struct Options {
  bool simulate = false;
  tiltdgh::PortDevices devices;
  // Set when --mqtt was given: the broker to publish to, or why there is none.
  std::optional<publish::MqttConfigResult> mqtt;
  // Set when --stations was given: the broker and base topic to show, or the program has ended.
  std::optional<publish::MqttConfig> stations;
  int maxStations = stations::StationModel::defaultMaxStations;
  QStringList switchOn; // channel switches the program turns on once its window is up
  AlarmCommandChoice alarm; // --alarm-command, --alarm-repeat, --alarm-heartbeat
  bool unattended = false;
  RunStart run;           // the last run, with --resume
  runs::RunRecord record; // what this run keeps of its command line
  std::optional<ReportJob> report; // --report: the PDF to make, and nothing else
};

// Bad input that leaves the program nothing to do: the reason on standard error, status 2.
[[noreturn]] void refuse(const QString &reason) {
  QTextStream(stderr) << "brellis: " << reason << '\n';
  std::exit(2);
}

struct MqttOptions {
  QCommandLineOption url{QStringLiteral("mqtt"),
                         QStringLiteral("Publishes readings, channel switches and calibration to "
                                        "the MQTT broker at URL: mqtt://[user@]host[:port] "
                                        "(port 1883 by default) or mqtts://[user@]host[:port] "
                                        "for TLS (port 8883)."),
                         QStringLiteral("URL")};
  QCommandLineOption ca{QStringLiteral("mqtt-ca"),
                        QStringLiteral("With mqtts://: trusts the certificate authority in FILE "
                                       "(PEM) instead of the system's."),
                        QStringLiteral("FILE")};
  QCommandLineOption topic{QStringLiteral("mqtt-topic"),
                           QStringLiteral("Starts every topic with PREFIX (default "
                                          "brellis/<host name>); '+', '#' and NUL are refused."),
                           QStringLiteral("PREFIX")};
  QCommandLineOption passwordFile{
      QStringLiteral("mqtt-password-file"),
      QStringLiteral("Reads the password for the URL's user from the first line of FILE. A "
                     "password is never taken from the command line."),
      QStringLiteral("FILE")};

  QCommandLineOption discovery{
      QStringLiteral("mqtt-discovery"),
      QStringLiteral("With --mqtt: announces every reading to Home Assistant under PREFIX "
                     "(homeassistant when the option is given without one)."),
      QStringLiteral("PREFIX")};
  QCommandLineOption commands{
      QStringLiteral("mqtt-commands"),
      QStringLiteral("With --mqtt: takes alarm acknowledgements and shelves from "
                     "<prefix>/command/#; the broker's access control decides who may send them.")};
  QCommandLineOption stations{
      QStringLiteral("stations"),
      QStringLiteral("Opens the station view instead of the main window: one tile per Brellis "
                     "publishing under the --mqtt-topic base (default brellis) on the broker at "
                     "URL, with the same TLS, CA and password-file options. Opens no serial port."),
      QStringLiteral("URL")};
  QCommandLineOption maxStations{
      QStringLiteral("max-stations"),
      QStringLiteral("With --stations: shows at most N stations (default %1); the ones beyond are "
                     "counted in the status line.")
          .arg(stations::StationModel::defaultMaxStations),
      QStringLiteral("N")};

  void addTo(QCommandLineParser &parser) const {
    parser.addOptions({url, ca, topic, passwordFile, discovery, commands, stations, maxStations});
  }

  int readMaxStations(const QCommandLineParser &parser) const {
    if (!parser.isSet(maxStations))
      return stations::StationModel::defaultMaxStations;
    if (!parser.isSet(stations))
      refuse(QStringLiteral("--max-stations bounds the station view; give --stations URL too"));
    bool ok = false;
    const int n = parser.value(maxStations).toInt(&ok);
    if (!ok || n < 1 || n > 100000)
      refuse(QStringLiteral("--max-stations expects a whole number from 1 to 100000, not \"%1\"")
                 .arg(parser.value(maxStations)));
    return n;
  }

  // Bad broker input leaves the program running without publishing; the reason goes to standard
  // error at once and to the window's connection state. A discovery option that cannot be used
  // ends the program with status 2: it was given for nothing else.
  std::optional<publish::MqttConfigResult> read(const QCommandLineParser &parser) const {
    if (parser.isSet(discovery) && !parser.isSet(url))
      refuse(QStringLiteral("--mqtt-discovery announces what --mqtt publishes; give --mqtt URL "
                            "too"));
    if (parser.isSet(commands) && !parser.isSet(url))
      refuse(QStringLiteral("--mqtt-commands takes commands from the broker of --mqtt; give "
                            "--mqtt URL too"));
    const QString discoveryError = discoveryPrefixError(parser);
    if (!discoveryError.isEmpty())
      refuse(discoveryError);
    if (!parser.isSet(url)) {
      for (const QCommandLineOption *option : {&ca, &topic, &passwordFile})
        if (parser.isSet(*option))
          QTextStream(stderr) << "brellis: --" << option->names().constFirst()
                              << " has no effect without --mqtt\n";
      return std::nullopt;
    }
    publish::MqttConfigResult result =
        publish::makeMqttConfig(parser.value(url), parser.value(ca), parser.value(topic),
                                parser.value(passwordFile), QSysInfo::machineHostName());
    if (result.config && parser.isSet(discovery))
      result.config->discoveryPrefix = parser.value(discovery);
    if (result.config)
      result.config->acceptCommands = parser.isSet(commands);
    if (!result.config)
      QTextStream(stderr) << "brellis: " << result.error << "; running without publishing\n";
    return result;
  }

  // The station view's broker and base topic (default "brellis"); a bad one ends the program
  // with status 2, since the view has nothing else to show.
  publish::MqttConfig readStations(const QCommandLineParser &parser) const {
    for (const QCommandLineOption *option : {&url, &discovery})
      if (parser.isSet(*option))
        refuse(QStringLiteral("--stations shows what other programs publish; it cannot be given "
                              "with --%1")
                   .arg(option->names().constFirst()));
    const QString base = parser.isSet(topic) ? parser.value(topic) : QStringLiteral("brellis");
    publish::MqttConfigResult result = publish::makeMqttConfig(
        parser.value(stations), parser.value(ca), base, parser.value(passwordFile), QString());
    if (!result.config)
      refuse(result.error.replace(QStringLiteral("--mqtt:"), QStringLiteral("--stations:")));
    return *result.config;
  }

private:
  QString discoveryPrefixError(const QCommandLineParser &parser) const {
    if (!parser.isSet(discovery))
      return QString();
    return publish::topicPrefixError(parser.value(discovery))
        .replace(QStringLiteral("--mqtt-topic"), QStringLiteral("--mqtt-discovery"));
  }
};

// The options of the program itself, beside the broker's.
struct ProgramOptions {
  QCommandLineOption com{
      QStringLiteral("com"),
      QStringLiteral("Maps port number N to DEVICE, for example --com 1=/dev/ttyUSB0. "
                     "May be given several times."),
      QStringLiteral("N=DEVICE")};
  QCommandLineOption simulate{
      QStringLiteral("simulate"),
      QStringLiteral("Runs on simulated modules behind every port number.")};
  QCommandLineOption checkHistory{
      QStringLiteral("check-calibration-history"),
      QStringLiteral("Checks the calibration history, prints \"history intact (N records)\" or "
                     "where it was altered, and ends: status 0 when intact, 1 otherwise.")};
  QCommandLineOption switchOn{
      QStringLiteral("switch-on"),
      QStringLiteral("Turns the named channel switches on once the window is up, as the operator "
                     "would: a comma-separated list of ph, flow and therm."),
      QStringLiteral("CHANNELS")};
  QCommandLineOption resume{
      QStringLiteral("resume"),
      QStringLiteral("Takes the last run's port, mapping and options (those given beside it win) "
                     "and, when it did not end with Exit, takes it up again: channels, rate, "
                     "plot and logging (appended to the same file).")};
  QCommandLineOption unattended{
      QStringLiteral("unattended"),
      QStringLiteral("Never waits for an OK: messages go to a list in the status bar, standard "
                     "error and the events journal, and a channel a failure switched off is "
                     "switched on again every 10 s.")};
  LogToolOptions logTools;
  void addTo(QCommandLineParser &parser) const {
    parser.addOptions({com, simulate, checkHistory, switchOn, resume, unattended});
    logTools.addTo(parser);
  }

  // The tools that do their work and end the program, without a window.
  // Sets `reportJob` when --report was given: its PDF needs a QApplication.
  void runTools(const QCommandLineParser &parser, std::optional<ReportJob> &reportJob) const {
    if (parser.isSet(checkHistory)) {
      const calibration::HistoryReport report =
          calibration::checkHistory(calibration::historyFilePath());
      QTextStream(stdout) << report.summary() << '\n';
      std::exit(report.intact() ? 0 : 1);
    }
    reportJob = logTools.runTools(parser);
  }

  QStringList readSwitchOn(const QCommandLineParser &parser) const {
    QStringList channels;
    for (const QString &channel :
         parser.value(switchOn).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
      if (!QStringList{"ph", "flow", "therm"}.contains(channel.trimmed()))
        refuse(QStringLiteral("--switch-on expects ph, flow or therm, not \"%1\"").arg(channel));
      channels << channel.trimmed();
    }
    return channels;
  }

  tiltdgh::PortDevices readDevices(const QCommandLineParser &parser) const {
    tiltdgh::PortDevices devices;
    for (const QString &mapping : parser.values(com)) {
      const qsizetype eq = mapping.indexOf(QLatin1Char('='));
      bool ok = false;
      const int port = eq > 0 ? mapping.left(eq).trimmed().toInt(&ok) : 0;
      const QString device = eq > 0 ? mapping.mid(eq + 1).trimmed() : QString();
      if (!ok || port < 1 || device.isEmpty())
        refuse(QStringLiteral("--com expects N=DEVICE with N a port number from 1, not \"%1\"")
                   .arg(mapping));
      devices.map(port, device);
    }
    return devices;
  }
};

// --mqtt-discovery's PREFIX may be left out: a bare option takes Home Assistant's default.
QStringList withDiscoveryDefault(QStringList arguments) {
  for (qsizetype k = 1; k < arguments.size(); ++k)
    if (arguments[k] == QLatin1String("--mqtt-discovery") &&
        (k + 1 == arguments.size() || arguments[k + 1].startsWith(QLatin1Char('-'))))
      arguments[k] = QStringLiteral("--mqtt-discovery=homeassistant");
  return arguments;
}

// Reads the command line before any window exists, so --help and --version work without a
// display. Exits with status 2 on a malformed --com, --switch-on, --stations, --mqtt-discovery,
// --alarm-repeat or --alarm-heartbeat.
Options parseCommandLine(int &argc, char **argv) {
  QCoreApplication core(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("brellis"));
  QCoreApplication::setApplicationVersion(QStringLiteral("2.4.1"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Monitors and records two pH probes, three thermistors and a flow meter on DGH serial "
      "sensor modules. Port N is /dev/ttyS<N-1> unless mapped with --com.\n\n"
      "With BRELLIS_QUIT_AFTER_SHOW=1 in the environment the program ends as soon as its "
      "window is shown, and prints its messages on standard error instead of showing boxes: "
      "exit status 0 then says it started, pictures found."));
  parser.addHelpOption();
  parser.addVersionOption();
  const ProgramOptions program;
  program.addTo(parser);
  const AlarmOptions alarm;
  alarm.addTo(parser);
  const MqttOptions mqtt;
  mqtt.addTo(parser);
  Options options;
  options.run = prepareRun(withDiscoveryDefault(QCoreApplication::arguments()),
                           runs::defaultRunFilePath());
  parser.process(options.run.arguments);
  program.runTools(parser, options.report);

  options.simulate = parser.isSet(program.simulate);
  options.switchOn = program.readSwitchOn(parser);
  options.maxStations = mqtt.readMaxStations(parser);
  if (parser.isSet(mqtt.stations))
    options.stations = mqtt.readStations(parser);
  else
    options.mqtt = mqtt.read(parser);
  if (const QString wrong = alarm.read(parser, options.alarm); !wrong.isEmpty())
    refuse(wrong);
  options.devices = program.readDevices(parser);
  options.unattended = parser.isSet(program.unattended);
  options.record.simulate = options.simulate;
  for (const QString &mapping : parser.values(program.com)) {
    const qsizetype eq = mapping.indexOf(QLatin1Char('='));
    options.record.com[mapping.left(eq).trimmed().toInt()] = mapping.mid(eq + 1).trimmed();
  }
  options.record.options = carriedOptions(options.run.arguments);
  if (options.run.last)
    options.record.port = options.run.last->port;
  return options;
}

// With nobody to answer a box, a message goes to standard error and the program goes on.
class StderrMessages : public tiltdgh::OperatorMessages {
public:
  void showMessage(const QString &text, const QString &title) override {
    QTextStream err(stderr);
    err << "brellis: ";
    if (!title.isEmpty())
      err << title << ": ";
    err << text << '\n';
  }
};

// The station view instead of the main window: no serial port, no publishing.
int runStationView(QApplication &app, const publish::MqttConfig &config, int maxStations,
                   bool quitAfterShow) {
  stations::StationWindow view(config, config.topicPrefix.toUtf8(), maxStations);
  view.show();
  if (quitAfterShow)
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
  return app.exec();
}

// Turns channel switches on as the operator would ("ph", "flow", "therm").
void switchOn(frmMain &window, const QStringList &channels) {
  for (const QString &channel : channels) {
    const QString name = channel == QLatin1String("ph")     ? QStringLiteral("cwbPh")
                         : channel == QLatin1String("flow") ? QStringLiteral("cwbFlow")
                                                            : QStringLiteral("cwbTherm");
    if (auto *control = window.findChild<widgets::TwoStateSwitch *>(name))
      control->setChecked(true);
  }
}

// The run this start keeps: the last one taken up again, or a new one from the command line.
console::RunOptions runOptions(const Options &options) {
  console::RunOptions run;
  // A run file that was refused is left as it is: this run keeps none.
  run.runFilePath = options.run.refusal.isEmpty() ? runs::defaultRunFilePath() : QString();
  run.eventsPath = runs::defaultEventsJournalPath();
  run.record = options.run.last && options.run.resume ? *options.run.last : options.record;
  run.record.options = options.record.options;
  run.record.com = options.record.com;
  run.record.simulate = options.record.simulate;
  run.resume = options.run.resume;
  run.unattended = options.unattended;
  return run;
}

void nameApplication() {
  QApplication::setApplicationName(QStringLiteral("brellis"));
  QApplication::setApplicationVersion(QStringLiteral("2.4.1"));
  // Lets the desktop match the window to brellis.desktop and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("brellis"));
}

} // namespace

int main(int argc, char **argv) {
  Options options = parseCommandLine(argc, argv);
  if (options.report)
    return runReport(argc, argv, *options.report);

  QApplication app(argc, argv);
  nameApplication();

  // A check of an installation: nothing may wait for an answer, since none will come. The
  // "Commport Setup" box answers Cancel, which ends the program when port 1 will not open.
  const bool quitAfterShow = qEnvironmentVariableIntValue("BRELLIS_QUIT_AFTER_SHOW") != 0;
  StderrMessages stderrMessages;
  FrmMainServices services;
  if (quitAfterShow)
    services.messages = &stderrMessages;
  if (quitAfterShow || options.unattended)
    services.askText = [](const QString &, const QString &) -> std::optional<QString> {
      return std::nullopt;
    };

  if (options.stations)
    return runStationView(app, *options.stations, options.maxStations, quitAfterShow);

  tiltdgh::SteadyClock clock;
  sim::DghModules modules(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()));
  std::unique_ptr<tiltdgh::SerialLine> line;
  if (options.simulate)
    line = std::make_unique<sim::SimulatedBus>(clock, modules);
  else
    line = tiltdgh::makeSystemLine(options.devices);

  services.mqtt = options.mqtt;
  services.alarmCommand = options.alarm.command;
  services.alarmRepeatMinutes = options.alarm.repeatMinutes;
  services.alarmHeartbeat = options.alarm.heartbeat;
  services.simulated = options.simulate;
  services.run = runOptions(options);
  line->setCommPort(options.record.port);
  quitOnTerminate();
  frmMain window(*line, clock, std::move(services));
  // Every change of the broker connection, failures included, also goes to standard error.
  if (auto *publisher = window.findChild<publish::MqttPublisher *>(QStringLiteral("mqttPublisher")))
    QObject::connect(publisher, &publish::MqttPublisher::stateChanged,
                     [](publish::ConnectionState, const QString &text) {
                       QTextStream(stderr) << "brellis: " << text << '\n';
                     });
  if (!window.load())
    return 1;
  window.show();
  if (!options.run.refusal.isEmpty())
    window.showMessage(options.run.refusal + QStringLiteral(" The program starts anew."));
  window.runKeeper()->windowShown();
  switchOn(window, options.switchOn);
  if (quitAfterShow)
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
  const int status = app.exec();
  window.runKeeper()->stopping();
  return status;
}
