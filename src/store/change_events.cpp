// Change events: the receivers the control tells of each successful change.
#include "connection/qvsource.h"

namespace qv {

void QVSource::AddEventSink(QVSourceEvents* sink) {
  if (sink != nullptr) sinks_.push_back(sink);
}

void QVSource::RemoveEventSink(QVSourceEvents* sink) { std::erase(sinks_, sink); }

}  // namespace qv
