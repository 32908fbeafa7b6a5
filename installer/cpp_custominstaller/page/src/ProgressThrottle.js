// Shows the latest progress at most once per interval. A status change
// cancels the pending refresh so that a late one cannot overwrite what the
// new status shows.
export default function ProgressThrottle(show, intervalMs) {
  this.show = show;
  this.intervalMs = intervalMs;
  this.latest = 0;
  this.timer = null;
}

ProgressThrottle.prototype.push = function (value) {
  var self = this;
  self.latest = value;
  if (self.timer !== null) return;
  self.timer = setTimeout(function () {
    self.timer = null;
    self.show(self.latest);
  }, self.intervalMs);
};

ProgressThrottle.prototype.cancel = function () {
  if (this.timer === null) return;
  clearTimeout(this.timer);
  this.timer = null;
};
