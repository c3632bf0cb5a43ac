-- wrk's summary as the one line that bench/run.sh reads from https_load as well:
-- "completed failed seconds rate p50_ms p99_ms". Completed counts the 2xx and 3xx answers;
-- failed counts the other answers and the connect, read, write and timeout errors. wrk does
-- not look at the body, and its latency runs from the request's first byte to the answer's
-- last, so it leaves out the connect and the TLS handshake that https_load includes.
done = function(summary, latency, requests)
    local errors = summary.errors
    local completed = summary.requests - errors.status
    local failed = errors.status + errors.connect + errors.read + errors.write + errors.timeout
    local seconds = summary.duration / 1e6
    io.write(string.format("%d %d %.2f %.1f %.2f %.2f\n", completed, failed, seconds,
        completed / seconds, latency:percentile(50) / 1000, latency:percentile(99) / 1000))
end
