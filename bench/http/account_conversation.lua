-- wrk: OMAccount GetInfo as a two-request conversation per session: the relay, then the work
-- request with the session cookie the relay set, for Alice of the demo service. One
-- connection per wrk thread (-tN -cN), so each thread's requests alternate on one connection.
local login = "OMV=1001; OMI=1; OMD=1; CHAR=Fox"
local form = "success=/s.htm&failure=/f.htm&msgbase=m&relay=/r.htm&action=GetInfo"
local session = nil
local site = nil  -- the server's OMSITE cookie: once the browser has it, only the session cookie is set
relays, works, others = 0, 0, 0

request = function()
  local headers = {["Content-Type"] = "application/x-www-form-urlencoded"}
  local cookies = login
  if site then cookies = cookies .. "; OMSITE=" .. site end
  if session then
    headers["Cookie"] = cookies .. "; OMACCOUNTSESSIONTAG=" .. session
    return wrk.format("POST", "/OMAccount", headers, "")
  end
  headers["Cookie"] = cookies
  return wrk.format("POST", "/OMAccount", headers, form)
end

response = function(status, headers, body)
  if session then
    session = nil  -- the conversation is over; the next request starts a new one
    if status == 302 then works = works + 1 else others = others + 1 end
    return
  end
  local cookie = headers["Set-Cookie"] or ""
  site = site or cookie:match("OMSITE=([^;]*)")
  session = cookie:match("OMACCOUNTSESSIONTAG=([^;]*)")
  if session then relays = relays + 1 else others = others + 1 end
end

done = function(summary, latency, requests)
  io.write(string.format("conversations: %.0f per second (%d requests)\n",
                         summary.requests / 2 / (summary.duration / 1e6), summary.requests))
end
