-- Wireshark and tshark dissector for the Tavik instrument protocol: UDP datagrams on port 19798,
-- a 12-byte header that begins with "MV", then a payload whose first byte is the message code.
-- Installed by the tavik-connection package into Wireshark's global Lua plugin folder
-- ("tshark -G folders"); display filters use the protocol name "tavik" (tavik.code, tavik.status,
-- tavik.name, ...). Replies are linked to their requests; "tshark -2" shows the links.

local PORT = 19798
local HEADER_SIZE = 12
local TEXT_SIZE = 64
local DESCRIPTION_SIZE = 202

local tavik = Proto("tavik", "Tavik Instrument Protocol")

-- Code -> name and payload length, for the requests and the replies that carry each code.
local REQUESTS = {
    [0] = { name = "ClaimRequest", length = 129 },
    [1] = { name = "DiscoveryRequest", length = 1 },
    [3] = { name = "ReleaseRequest", length = 129 },
    [4] = { name = "RepairRequest", length = 129 },
    [5] = { name = "VerifyRequest", length = 129 },
    [6] = { name = "RenameRequest", length = 129 },
}
local REPLIES = {
    [0] = { name = "ClaimReply", length = 2, request = 0 },
    [2] = { name = "DiscoveryReply", length = 203, request = 1 },
    [3] = { name = "ReleaseReply", length = 2, request = 3 },
    [4] = { name = "RepairReply", length = 6, request = 4 },
    [5] = { name = "VerifyReply", length = 204, request = 5 },
    [6] = { name = "RenameReply", length = 2, request = 6 },
}
local CODE_NAMES = {
    [0] = "Claim", [1] = "DiscoveryRequest", [2] = "DiscoveryReply", [3] = "Release",
    [4] = "Repair", [5] = "Verify", [6] = "Rename",
}

-- What the client makes of each reply's status: a text per value, [false] for any other value.
-- Whatever a release reply says, the client then forgets its instrument.
local STATUS_MEANINGS = {
    ClaimReply = { [0] = "granted", [false] = "refused" },
    ReleaseReply = {
        [5] = "in use, the other client's claim may not be overridden",
        [6] = "claimed by another client, that claim may be overridden",
        [false] = "released",
    },
    RepairReply = { [0] = "repaired", [false] = "ignored" },
    VerifyReply = { [0] = "held by this client", [false] = "not held by this client" },
    RenameReply = { [0] = "renamed", [false] = "not renamed" },
}

local f = {
    magic = ProtoField.string("tavik.magic", "Magic"),
    destination = ProtoField.ipv4("tavik.destination", "Destination",
        "header address form, least significant byte first"),
    source = ProtoField.ipv4("tavik.source", "Source",
        "header address form, least significant byte first"),
    length = ProtoField.uint16("tavik.length", "Payload length", base.DEC),
    length_ok = ProtoField.bool("tavik.length_ok", "Length as expected", base.NONE, nil, nil,
        "the header's payload length is the bytes present and the message's length"),
    expected_length = ProtoField.uint16("tavik.expected_length", "Expected payload length"),
    message = ProtoField.string("tavik.message", "Message"),
    reply = ProtoField.bool("tavik.reply", "Reply"),
    code = ProtoField.uint8("tavik.code", "Code", base.DEC, CODE_NAMES),
    name = ProtoField.string("tavik.name", "Instrument name"),
    client_host = ProtoField.string("tavik.client_host", "Client host name"),
    status = ProtoField.uint8("tavik.status", "Status", base.DEC),
    meaning = ProtoField.string("tavik.status.meaning", "Status meaning"),
    description = ProtoField.none("tavik.description", "InstrumentDescription"),
    host = ProtoField.string("tavik.host", "Host name"),
    address = ProtoField.ipv4("tavik.address", "Instrument address",
        "network byte order, most significant byte first"),
    claimed = ProtoField.uint8("tavik.claimed", "Claimed flag", base.DEC),
    in_use = ProtoField.uint8("tavik.in_use", "In-use flag", base.DEC),
    owner_host = ProtoField.string("tavik.owner_host", "Owner host name"),
    owner_address = ProtoField.ipv4("tavik.owner_address", "Owner address",
        "header address form, least significant byte first"),
    payload = ProtoField.bytes("tavik.payload", "Payload"),
    surplus = ProtoField.bytes("tavik.surplus", "Bytes beyond the message"),
    trailing = ProtoField.bytes("tavik.trailing", "Trailing bytes after the payload"),
    request_in = ProtoField.framenum("tavik.request_in", "Request in", base.NONE,
        frametype.REQUEST),
    response_in = ProtoField.framenum("tavik.response_in", "Reply in", base.NONE,
        frametype.RESPONSE),
    reply_count = ProtoField.uint32("tavik.reply_count", "Replies in the capture"),
    time = ProtoField.relative_time("tavik.time", "Time since request"),
}
tavik.fields = f

local function expert_field(abbr, text, group, severity)
    return ProtoExpert.new("tavik." .. abbr, text, expert.group[group], expert.severity[severity])
end
local e = {
    wrong_length = expert_field("wrong_length", "Wrong length", "MALFORMED", "WARN"),
    unknown_code = expert_field("unknown_code", "Unknown message code", "UNDECODED", "WARN"),
    no_nul = expert_field("no_nul", "Text field without NUL", "MALFORMED", "WARN"),
    trailing = expert_field("trailing_bytes", "Trailing bytes after the payload", "MALFORMED",
        "WARN"),
    unanswered = expert_field("unanswered", "Request without a reply", "SEQUENCE", "NOTE"),
    repeated = expert_field("repeated_reply", "Reply to a request already answered", "SEQUENCE",
        "NOTE"),
}
tavik.experts = e

-- Whether a request went to a broadcast address, where the link layer says so.
local eth_dst_group = Field.new("eth.dst.ig")

-- ---- Request and reply pairs --------------------------------------------------------------
-- Replies carry no request number. A reply answers a request of its code that its destination
-- sent to the reply's source or to a broadcast address within the last few seconds (the client
-- waits about two at most): the latest one it has not answered yet, as the client takes the
-- first reply; a discovery request is answered once by every instrument. Built on the first
-- pass in frame order, read on the later ones.
local REPLY_WINDOW = 5 -- seconds
local requests, replies, pending

local function forget_pairs()
    requests = {} -- request frame -> { time, dst, broadcast, replies = {frames}, by_source }
    replies = {} -- reply frame -> { request = frame, delta = seconds, first = frame or nil }
    pending = {} -- "client|code" -> the latest requests of that key, oldest first
end
forget_pairs()
tavik.init = forget_pairs -- a new capture file

local function remember_request(pinfo, code)
    local dst = tostring(pinfo.dst)
    local group = eth_dst_group()
    -- Without a link layer that tells, any destination may be a broadcast.
    local broadcast = group == nil or group.value == true or dst == "255.255.255.255"
    local request = { frame = pinfo.number, time = pinfo.rel_ts, dst = dst,
        broadcast = broadcast, replies = {}, by_source = {} }
    requests[pinfo.number] = request
    local key = tostring(pinfo.src) .. "|" .. code
    local list = pending[key] or {}
    list[#list + 1] = request
    if #list > 16 then
        table.remove(list, 1)
    end
    pending[key] = list
end

local function match_reply(pinfo, request_code)
    local source = tostring(pinfo.src)
    local list = pending[tostring(pinfo.dst) .. "|" .. request_code] or {}
    local function answered(request)
        if request_code == 1 then
            return request.by_source[source]
        end
        return request.replies[1]
    end
    local chosen
    for i = #list, 1, -1 do
        local request = list[i]
        if pinfo.rel_ts - request.time > REPLY_WINDOW then
            break
        end
        if request.dst == source or request.broadcast then
            chosen = chosen or request
            if not answered(request) then
                chosen = request
                break
            end
        end
    end
    if chosen == nil then
        return
    end
    replies[pinfo.number] = { request = chosen.frame, delta = pinfo.rel_ts - chosen.time,
        first = answered(chosen) }
    chosen.by_source[source] = chosen.by_source[source] or pinfo.number
    chosen.replies[#chosen.replies + 1] = pinfo.number
end

local function seconds_to_nstime(seconds)
    local whole = math.floor(seconds)
    return NSTime.new(whole, math.floor((seconds - whole) * 1e9 + 0.5))
end

-- ---- Fields -------------------------------------------------------------------------------
local function dotted(number)
    return string.format("%d.%d.%d.%d", math.floor(number / 16777216) % 256,
        math.floor(number / 65536) % 256, math.floor(number / 256) % 256, number % 256)
end

-- 8-bit text as the clients read it, Windows-1252: 0x80-0x9F by the code page's table (its
-- unassigned bytes to the code points of the same value), every other byte as Latin-1.
local WINDOWS_1252_HIGH = {
    [0] = 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
}
local function utf8_char(code)
    if code < 0x800 then
        return string.char(0xC0 + math.floor(code / 64), 0x80 + code % 64)
    end
    return string.char(0xE0 + math.floor(code / 4096), 0x80 + math.floor(code / 64) % 64,
        0x80 + code % 64)
end
local function windows_1252(raw)
    return (raw:gsub("[\128-\255]", function(c)
        local byte = c:byte()
        return utf8_char(byte < 0xA0 and WINDOWS_1252_HIGH[byte - 0x80] or byte)
    end))
end

-- A text field: its text up to the NUL (all 64 bytes without one). Returns the text.
local function add_text(tree, field, range, marks)
    local raw = range:raw()
    local nul = raw:find("\0", 1, true)
    local text = windows_1252(nul and raw:sub(1, nul - 1) or raw)
    local item = tree:add(field, range, text)
    if nul == nil then
        item:add_proto_expert_info(e.no_nul, "Text field without NUL: all 64 bytes are shown")
        marks.no_nul = true
    end
    return text
end

local function add_flag(tree, field, range, texts)
    local value = range:uint()
    tree:add(field, range):append_text(" (" .. (texts[value] or texts[false]) .. ")")
    return value
end

-- The 202 bytes of an InstrumentDescription; answers the fields for the summary.
local function add_description(tree, range, marks)
    local sub = tree:add(f.description, range)
    local d = {}
    d.host = add_text(sub, f.host, range(0, TEXT_SIZE), marks)
    d.address = dotted(range(64, 4):uint())
    sub:add(f.address, range(64, 4))
    d.claimed = add_flag(sub, f.claimed, range(68, 1),
        { [0] = "not claimed", [1] = "claimed", [false] = "claimed; an owner is read only at 1" })
    d.in_use = add_flag(sub, f.in_use, range(69, 1),
        { [0] = "not in use", [1] = "in use", [false] = "listed as in use; only 1 is busy" })
    d.name = add_text(sub, f.name, range(70, TEXT_SIZE), marks)
    d.owner_host = add_text(sub, f.owner_host, range(134, TEXT_SIZE), marks)
    d.owner_address = dotted(range(198, 4):le_uint())
    sub:add_le(f.owner_address, range(198, 4))
    sub:append_text(": " .. d.host .. " [" .. d.address .. "]")
    return d
end

local function describe(d)
    local text = " " .. d.host .. " [" .. d.address .. "]"
    text = text .. (d.name == "" and " unnamed" or (" \"" .. d.name .. "\""))
    if d.claimed ~= 0 then
        text = text .. ", claimed by " .. d.owner_host .. " [" .. d.owner_address .. "]"
    end
    if d.in_use ~= 0 then
        text = text .. ", in use"
    end
    return text
end

local function add_status(tree, range, message)
    local status = range:uint()
    local meanings = STATUS_MEANINGS[message]
    local meaning = meanings[status] or meanings[false]
    tree:add(f.status, range):append_text(" (" .. meaning .. ")")
    tree:add(f.meaning, range, meaning):set_generated()
    return "status " .. status .. " (" .. meaning .. ")"
end

-- ---- The message --------------------------------------------------------------------------
-- Which message a payload is: a code carried by both a request and a reply goes by its length,
-- the nearer one when it fits neither.
local function classify(code, length)
    local request, reply = REQUESTS[code], REPLIES[code]
    if request and reply then
        if length == reply.length or
            (length ~= request.length and
                math.abs(length - reply.length) < math.abs(length - request.length)) then
            return reply, true
        end
        return request, false
    end
    return request or reply, reply ~= nil
end

-- The fields of a known message, as far as the payload holds them; answers the summary's words
-- after the message's name.
local function add_message(tree, payload, kind, code, header, marks)
    local length = payload:len()
    local function fits(offset, width)
        return offset + width <= length
    end
    if kind.length == 1 then
        return " from " .. header.source .. " to " .. header.destination
    end
    if kind.length == 129 then
        local words = ""
        local from = header.source
        if fits(1, TEXT_SIZE) then
            words = " \"" .. add_text(tree, f.name, payload(1, TEXT_SIZE), marks) .. "\""
        end
        if fits(65, TEXT_SIZE) then
            from = add_text(tree, f.client_host, payload(65, TEXT_SIZE), marks) .. " [" ..
                from .. "]"
        end
        return words .. " from " .. from .. " to " .. header.destination
    end
    local words = ""
    if code ~= 2 and fits(1, 1) then
        words = " " .. add_status(tree, payload(1, 1), kind.name)
    end
    words = words .. " from " .. header.source
    if code == 4 and fits(2, 4) then
        tree:add(f.address, payload(2, 4))
        words = words .. ", address " .. dotted(payload(2, 4):uint())
    end
    local at = code == 2 and 1 or 2
    if (code == 2 or code == 5) and fits(at, DESCRIPTION_SIZE) then
        words = words .. ":" .. describe(add_description(tree, payload(at, DESCRIPTION_SIZE), marks))
    end
    return words
end

-- Links a well-formed message with its request or replies (see "Request and reply pairs").
local MAX_LISTED_REPLIES = 50
local function add_pairs(tree, pinfo, code, is_reply, marks)
    if not pinfo.visited then
        if is_reply then
            match_reply(pinfo, REPLIES[code].request)
        else
            remember_request(pinfo, code)
        end
    end
    local request, reply = requests[pinfo.number], replies[pinfo.number]
    if request then
        if pinfo.visited then
            tree:add(f.reply_count, #request.replies):set_generated()
        end
        for i = 1, math.min(#request.replies, MAX_LISTED_REPLIES) do
            tree:add(f.response_in, request.replies[i]):set_generated()
        end
        if pinfo.visited and #request.replies == 0 then
            tree:add_proto_expert_info(e.unanswered, "No reply in the capture")
            marks.unanswered = true
        end
    elseif reply then
        tree:add(f.request_in, reply.request):set_generated()
        tree:add(f.time, seconds_to_nstime(reply.delta)):set_generated()
        if reply.first then
            tree:add_proto_expert_info(e.repeated,
                "The request was answered in frame " .. reply.first .. " already")
            marks.repeated = true
        end
    end
end

local MARKS = {
    { "wrong_length", "wrong length" }, { "unknown_code", "unknown code" },
    { "no_nul", "text without NUL" }, { "trailing", "trailing bytes" },
    { "unanswered", "no reply" }, { "repeated", "repeated reply" },
}

local function dissect(tvb, pinfo, root)
    local size = tvb:len()
    if size < 2 or tvb(0, 2):string() ~= "MV" then
        return 0
    end
    pinfo.cols.protocol = "TAVIK"
    local tree = root:add(tavik, tvb())
    tree:add(f.magic, tvb(0, 2))
    if size < HEADER_SIZE then
        tree:add_proto_expert_info(e.wrong_length,
            "Shorter than the 12-byte header: " .. size .. " bytes")
        pinfo.cols.info = "Tavik datagram of " .. size .. " bytes [wrong length]"
        return size
    end

    local marks = {}
    local header = {
        destination = dotted(tvb(2, 4):le_uint()),
        source = dotted(tvb(6, 4):le_uint()),
    }
    tree:add_le(f.destination, tvb(2, 4))
    tree:add_le(f.source, tvb(6, 4))
    local announced = tvb(10, 2):le_uint()
    local present = size - HEADER_SIZE
    local length = math.min(announced, present)
    local length_item = tree:add_le(f.length, tvb(10, 2))
    length_item:append_text(announced == present and " (the datagram holds it)" or
        (" (the datagram holds " .. present .. ")"))
    if announced > present then
        length_item:add_proto_expert_info(e.wrong_length,
            "The header announces " .. announced .. " payload bytes; " .. present .. " follow")
        marks.wrong_length = true
    end

    local summary, kind, code, is_reply
    if length == 0 then
        length_item:add_proto_expert_info(e.wrong_length, "No payload: no message code")
        marks.wrong_length = true
        summary = "Tavik datagram without payload"
    else
        local payload = tvb(HEADER_SIZE, length)
        code = payload(0, 1):uint()
        kind, is_reply = classify(code, length)
        local code_item = tree:add(f.code, payload(0, 1))
        if kind == nil then
            code_item:add_proto_expert_info(e.unknown_code, "Unknown message code " .. code)
            marks.unknown_code = true
            tree:add(f.message, payload(0, 1), "Unknown"):set_generated()
            if length > 1 then
                tree:add(f.payload, payload(1))
            end
            summary = "Unknown code " .. code .. " from " .. header.source
        else
            tree:add(f.message, payload(0, 1), kind.name):set_generated()
            tree:add(f.reply, payload(0, 1), is_reply):set_generated()
            tree:add(f.expected_length, payload(0, 1), kind.length):set_generated()
            if length ~= kind.length then
                length_item:add_proto_expert_info(e.wrong_length, kind.name .. ": " .. length ..
                    " payload bytes, " .. kind.length .. " expected")
                marks.wrong_length = true
            end
            summary = kind.name .. add_message(tree, payload, kind, code, header, marks)
            if length > kind.length then
                tree:add(f.surplus, payload(kind.length))
            end
        end
    end
    if present > announced then
        tree:add(f.trailing, tvb(HEADER_SIZE + announced)):add_proto_expert_info(e.trailing,
            (present - announced) .. " bytes after the " .. announced .. " payload bytes announced")
        marks.trailing = true
    end
    local length_ok = announced == present and not marks.wrong_length
    length_item:add(f.length_ok, tvb(10, 2), length_ok):set_generated()
    -- The client reads only datagrams of the exact length: only those make a pair.
    if kind and length_ok then
        add_pairs(tree, pinfo, code, is_reply, marks)
    end

    for _, mark in ipairs(MARKS) do
        if marks[mark[1]] then
            summary = summary .. " [" .. mark[2] .. "]"
        end
    end
    pinfo.cols.info = summary
    tree:append_text(", " .. (kind and kind.name or "no message"))
    return size
end

tavik.dissector = dissect
DissectorTable.get("udp.port"):add(PORT, tavik)

-- On other ports (a simulator or test on a port of its own) only a datagram that is exactly
-- one known message is taken.
tavik:register_heuristic("udp", function(tvb, pinfo, root)
    local size = tvb:len()
    if size <= HEADER_SIZE or tvb(0, 2):string() ~= "MV" or
        tvb(10, 2):le_uint() ~= size - HEADER_SIZE then
        return false
    end
    local kind = classify(tvb(HEADER_SIZE, 1):uint(), size - HEADER_SIZE)
    if kind == nil or kind.length ~= size - HEADER_SIZE then
        return false
    end
    dissect(tvb, pinfo, root)
    return true
end)
