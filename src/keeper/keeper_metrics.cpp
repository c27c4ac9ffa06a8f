#include "keeper/keeper_metrics.h"

#include "platform/version.h"

namespace jackwell::keeper {

namespace {

void family(QByteArray& out, const char* name, const char* type, const char* help) {
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void sample(QByteArray& out, const char* name, double value, const char* type, const char* help) {
    family(out, name, type, help);
    out += QByteArray(name) + ' ' + QByteArray::number(value, 'g', 12) + '\n';
}

} // namespace

void MetricsHistogram::observe(qint64 ms) {
    for (std::size_t i = 0; i < kBounds.size(); ++i) {
        if (double(ms) <= kBounds[i] * 1000) {
            ++counts_[i];
            break;
        }
    }
    ++count_;
    sumMs_ += ms;
}

void MetricsHistogram::render(QByteArray& out, const char* name, const char* help) const {
    family(out, name, "histogram", help);
    quint64 below = 0;
    for (std::size_t i = 0; i < kBounds.size(); ++i) {
        below += counts_[i];
        out += QByteArray(name) + "_bucket{le=\"" + QByteArray::number(kBounds[i]) + "\"} " +
               QByteArray::number(below) + '\n';
    }
    out += QByteArray(name) + "_bucket{le=\"+Inf\"} " + QByteArray::number(count_) + '\n';
    out += QByteArray(name) + "_sum " + QByteArray::number(double(sumMs_) / 1000, 'g', 12) + '\n';
    out += QByteArray(name) + "_count " + QByteArray::number(count_) + '\n';
}

QByteArray KeeperMetrics::render(const Gauges& gauges, const MetricsHistogram& commitTime) const {
    QByteArray out;
    family(out, "jackwell_keeper_build_info", "gauge", "The robot's version.");
    out += QByteArray("jackwell_keeper_build_info{version=\"") + kJackwellVersion + "\"} 1\n";
    sample(out, "jackwell_keeper_games_booked_total", double(gamesBooked), "counter",
           "Games booked and told.");
    sample(out, "jackwell_keeper_games_refused_total", double(refused), "counter",
           "Messages answered that nothing was booked.");
    sample(out, "jackwell_keeper_results_told_again_total", double(toldAgain), "counter",
           "Results told again to players they may not have reached.");
    sample(out, "jackwell_keeper_players_present", double(gauges.playersPresent), "gauge",
           "Players who wrote on this connection and have not left.");
    sample(out, "jackwell_keeper_send_queue_lines", double(gauges.queuedLines), "gauge",
           "Lines waiting to go to the server.");
    sample(out, "jackwell_keeper_send_queue_oldest_seconds", double(gauges.oldestQueuedMs) / 1000,
           "gauge", "How long the oldest waiting line has waited.");
    sample(out, "jackwell_keeper_connected", gauges.connected ? 1 : 0, "gauge",
           "Registered with the IRC server.");
    sample(out, "jackwell_keeper_logged_in", gauges.loggedIn ? 1 : 0, "gauge",
           "Logged in to a services account.");
    sample(out, "jackwell_keeper_nick_held", gauges.nickHeld ? 1 : 0, "gauge",
           "Holding the nickname of its configuration.");
    commitTime.render(out, "jackwell_keeper_book_commit_seconds",
                      "Time from a batch of changes begun to its commit safe on disk.");
    answerLatency.render(out, "jackwell_keeper_answer_latency_seconds",
                         "Time from a player's message read to its answer queued.");
    return out;
}

} // namespace jackwell::keeper
