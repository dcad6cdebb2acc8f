-- Shared by the wrk scripts of the load benchmark: one machine-readable line at the end.
function done(summary, latency, requests)
  local seconds = summary.duration / 1e6
  local e = summary.errors
  io.write(string.format(
    "RESULT rps=%.1f requests=%d seconds=%.2f p50_ms=%.3f p99_ms=%.3f max_ms=%.3f " ..
    "status_errors=%d connect_errors=%d read_errors=%d write_errors=%d timeouts=%d\n",
    summary.requests / seconds, summary.requests, seconds,
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000,
    e.status, e.connect, e.read, e.write, e.timeout))
end
