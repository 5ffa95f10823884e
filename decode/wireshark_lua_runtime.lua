-- The dissector. Everything above this line is data made from the layout
-- catalogue; everything below reads it. Every read is checked against the
-- bytes held first: a damaged packet is marked malformed, never a Lua error.

local MAX_ITEMS = 20000      -- items one record may show
local MAX_BLOCKS = 999       -- repeat blocks shown
local MAX_ELEMENTS = 256     -- vector elements shown one by one
local MAX_FIELD = 10000      -- widest single field
local MAX_NESTING = 8
local MAX_PACKET = 100000
local NET_SIZE = 36
local HEADER_SIZE = 64

local function uf(a, l, e) return ProtoField.uint32(a, l, base.DEC, e) end
local MAKE = {
    u8 = function(a, l, e) return ProtoField.uint8(a, l, base.DEC, e) end,
    u16 = function(a, l, e) return ProtoField.uint16(a, l, base.DEC, e) end,
    u32 = uf,
    u64 = function(a, l) return ProtoField.uint64(a, l, base.DEC) end,
    i8 = function(a, l, e) return ProtoField.int8(a, l, base.DEC, e) end,
    i16 = function(a, l, e) return ProtoField.int16(a, l, base.DEC, e) end,
    i32 = function(a, l, e) return ProtoField.int32(a, l, base.DEC, e) end,
    i64 = function(a, l) return ProtoField.int64(a, l, base.DEC) end,
    float = function(a, l) return ProtoField.float(a, l) end,
    double = function(a, l) return ProtoField.double(a, l) end,
    deg = function(a, l) return ProtoField.double(a, l) end,
    time = function(a, l) return ProtoField.absolute_time(a, l, base.UTC) end,
    string = function(a, l) return ProtoField.string(a, l) end,
    bytes = function(a, l) return ProtoField.bytes(a, l) end,
    count = uf,
    const = function(a, l, e) return ProtoField.int32(a, l, base.DEC, e) end,
}

local H = {
    net = ProtoField.none("vx.net", "Network frame"),
    net_version = ProtoField.uint16("vx.net.version", "Version", base.DEC),
    net_offset = ProtoField.uint16("vx.net.offset", "Offset", base.DEC),
    net_total_packets = ProtoField.uint32("vx.net.total_packets", "Total packets", base.DEC),
    net_total_records = ProtoField.uint16("vx.net.total_records", "Total records", base.DEC),
    net_transmission = ProtoField.uint16("vx.net.transmission_id", "Transmission id", base.DEC),
    net_packet_size = ProtoField.uint32("vx.net.packet_size", "Packet size", base.DEC),
    net_total_size = ProtoField.uint32("vx.net.total_size", "Total size", base.DEC),
    net_packet_number = ProtoField.uint32("vx.net.packet_number", "Packet number", base.DEC),
    net_dest_device = ProtoField.uint32("vx.net.destination_device", "Destination device id", base.DEC),
    net_dest_enum = ProtoField.uint16("vx.net.destination_enumerator", "Destination enumerator", base.DEC),
    net_src_enum = ProtoField.uint16("vx.net.source_enumerator", "Source enumerator", base.DEC),
    net_src_device = ProtoField.uint32("vx.net.source_device", "Source device id", base.DEC),
    fragment = ProtoField.bytes("vx.fragment", "Record fragment"),
    reassembled = ProtoField.uint32("vx.reassembled", "Reassembled record size", base.DEC),
    header = ProtoField.none("vx.header", "Data record frame header"),
    protocol_version = ProtoField.uint16("vx.protocol_version", "Protocol version", base.DEC),
    offset = ProtoField.uint16("vx.offset", "Offset", base.DEC),
    sync = ProtoField.uint32("vx.sync", "Sync pattern", base.HEX),
    size = ProtoField.uint32("vx.size", "Size", base.DEC),
    optional_offset = ProtoField.uint32("vx.optional_offset", "Optional data offset", base.DEC),
    optional_id = ProtoField.uint32("vx.optional_id", "Optional data identifier", base.DEC),
    time = ProtoField.absolute_time("vx.time", "Time stamp", base.UTC),
    time_raw = ProtoField.bytes("vx.time.raw", "Time stamp (no time)"),
    record_version = ProtoField.uint16("vx.record_version", "Record version", base.DEC),
    record_type = ProtoField.uint32("vx.record_type", "Record type", base.DEC, TITLES),
    device = ProtoField.uint32("vx.device", "Device identifier", base.DEC),
    reserved = ProtoField.bytes("vx.reserved", "Reserved"),
    enumerator = ProtoField.uint16("vx.enumerator", "System enumerator", base.DEC),
    counter = ProtoField.uint32("vx.counter", "Record counter", base.DEC),
    flags = ProtoField.uint16("vx.flags", "Flags", base.HEX),
    flags_checksum = ProtoField.bool("vx.flags.checksum", "Ends with a checksum", 16, nil, 0x0001),
    fragments_total = ProtoField.uint32("vx.fragments_total", "Total records in fragmented set", base.DEC),
    fragment_number = ProtoField.uint32("vx.fragment_number", "Fragment number", base.DEC),
    ping = ProtoField.uint32("vx.ping", "Ping number", base.DEC),
    data = ProtoField.none("vx.data", "Record data"),
    optional = ProtoField.none("vx.optional", "Optional data"),
    checksum = ProtoField.uint32("vx.checksum", "Checksum", base.DEC),
    checksum_calc = ProtoField.uint32("vx.checksum.calculated", "Checksum calculated", base.DEC),
    checksum_bad = ProtoField.bool("vx.checksum.bad", "Checksum wrong"),
    checksum_signed = ProtoField.bool("vx.checksum.signed", "Checksum made with signed bytes"),
}

local X = {
    checksum = ProtoExpert.new("vx.checksum.bad.expert", "Checksum not correct",
                               expert.group.CHECKSUM, expert.severity.ERROR),
    signed = ProtoExpert.new("vx.checksum.signed.expert", "Checksum calculated with signed arithmetic",
                             expert.group.CHECKSUM, expert.severity.WARN),
    malformed = ProtoExpert.new("vx.malformed", "Malformed Vx packet",
                                expert.group.MALFORMED, expert.severity.ERROR),
    exhausted = ProtoExpert.new("vx.exhausted", "Data exhausted",
                                expert.group.MALFORMED, expert.severity.WARN),
    fragment = ProtoExpert.new("vx.fragmented", "Fragment of a record sent in several packets",
                               expert.group.REASSEMBLE, expert.severity.NOTE),
    cut = ProtoExpert.new("vx.cut", "Record shown in part",
                          expert.group.UNDECODED, expert.severity.NOTE),
    lost = ProtoExpert.new("vx.lost", "Record lost: a fragment is missing",
                           expert.group.REASSEMBLE, expert.severity.WARN),
    lostSize = ProtoExpert.new("vx.lost.size", "Record lost: its size disagrees",
                               expert.group.REASSEMBLE, expert.severity.WARN),
}

-- The TreeItem and Tvb methods, taken once: a method called on one of them is
-- looked up through Wireshark's index function each time, a cost paid per field.
local add, addLe, appendText, setLen = TreeItem.add, TreeItem.add_le, TreeItem.append_text, TreeItem.set_len
local setGenerated, expertInfo = TreeItem.set_generated, TreeItem.add_proto_expert_info
local tvbRange, tvbLen, tvbRaw = Tvb.range, Tvb.len, Tvb.raw
local tvbRemaining, tvbReportedLen = Tvb.reported_length_remaining, Tvb.reported_len

local list = {}
for _, f in pairs(H) do list[#list + 1] = f end
local LF, KIND = {}, {}
for i, d in ipairs(F) do
    LF[i] = MAKE[d[3]](d[1], d[2], d[4] and E[d[4]] or nil)
    KIND[i] = d[3]
    list[#list + 1] = LF[i]
end
vx.fields = list
vx.experts = { X.checksum, X.signed, X.malformed, X.exhausted, X.fragment, X.cut, X.lost, X.lostSize }

vx.prefs.heuristic = Pref.bool("Find Vx streams on any port", true,
                               "Try streams on other ports too: a stream is Vx when its first bytes parse as a Vx network frame")

local TWO32 = 4294967296
local function s32(v) if v >= 2147483648 then return v - TWO32 end return v end

-- Numbers read from a string of the packet's bytes (tvb:raw) rather than from a
-- TvbRange each: one string per header or record instead of an object per value.
local byte, gsub = string.byte, string.gsub
-- The unsigned little-endian number of `width` (1 to 4) bytes at `i` (1-based).
local function le(raw, i, width)
    local a, b, c, d = byte(raw, i, i + width - 1)
    if width == 4 then return a + b * 256 + c * 65536 + d * 16777216 end
    if width == 2 then return a + b * 256 end
    if width == 1 then return a end
    return a + b * 256 + c * 65536
end
local SIGN = { 128, 32768, 8388608, 2147483648 }
local function leSigned(raw, i, width)
    local v = le(raw, i, width)
    if v >= SIGN[width] then return v - 2 * SIGN[width] end
    return v
end

-- Block keys ("5/1/7027/0"), made once per layout and index rather than per lookup.
local KEYS = {}
local function key(ctx, index)
    local keys = ctx.keys
    local k = keys[index]
    if k == nil then
        k = ctx.key .. "/" .. index
        keys[index] = k
    end
    return k
end

-- The values decoded so far, for counts, sizes and back-references: the first
-- value of each name (a stamp tells this record's from an earlier one's) and
-- every value in order. The tables live as long as the dissector: a record
-- refills them instead of growing new ones, which would cost a table and its
-- resizing per record.
local FIRST, FIRST_AT, VALS = {}, {}, {}
local stamp = 0
local function remember(ctx, name, value)
    local n = ctx.nvals + 1
    ctx.nvals = n
    VALS[n] = value
    if FIRST_AT[name] ~= stamp then
        FIRST_AT[name] = stamp
        FIRST[name] = value
    end
end
local function firstValue(name)
    if FIRST_AT[name] == stamp then return FIRST[name] end
    return nil
end
local function countLookup(ctx, name)
    if name == nil or name == "" then return 0 end
    local v = firstValue(name)
    if v == nil or v < 0 or v > 1000000 then return 0 end
    return v
end

local function sizeRule(ctx, r)
    if r == nil then return 0 end
    local v = firstValue(r.src)
    if v == nil then v = -1 end
    if v < 0 then v = v + TWO32 end
    if r.low > 0 then
        if r.low >= 32 then v = 0 else v = bit32.rshift(v, r.low) end
    end
    v = bit32.band(v, r.mask)
    local width = 1
    for _, p in ipairs(r.tab) do
        if p[1] == v then
            width = p[2]
            if width == 0 then return 0 end
            break
        end
    end
    if r.mul then
        local m = firstValue(r.mul)
        if m ~= nil then return width * m end
    end
    return width
end

local function applyRule(rule, c, f)
    if rule == nil then return c end
    if rule.fixed then return rule.fixed end
    local v = c
    if rule.mask then
        local x = rule.second and f or c
        if x < 0 then x = 0 end
        x = bit32.band(x, rule.mask)
        v = x * (rule.scale and c or 1)
        if rule.shift > 0 then v = math.floor(v / 2 ^ rule.shift) end
    end
    return v * rule.times + rule.plus
end

local function exhausted(ctx, tree, at, text)
    local item = expertInfo(tree, X.exhausted, text or "Data exhausted")
    ctx.troubles = ctx.troubles + 1
    return item
end

-- Text up to the first zero, within `length` bytes and the bytes held.
local strFind, strSub = string.find, string.sub
local function boundedText(ctx, pos, length)
    local n = math.min(length, ctx.held - pos)
    if n <= 0 then return "", 0 end
    local raw = strSub(ctx.raw, pos + 1, pos + n)
    local zero = strFind(raw, "\0", 1, true)
    if zero then raw = strSub(raw, 1, zero - 1) end
    return raw, n
end

local function range(ctx, pos, width)
    return tvbRange(ctx.tvb, ctx.base + pos, width)
end

local DAYS_BEFORE = { 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334 }
local function isLeap(y) return y % 4 == 0 and (y % 100 ~= 0 or y % 400 == 0) end
-- Seconds since 1970 of the time stamp at `i` (1-based) of the string `raw`, or nil when it holds no time.
local structUnpack = Struct.unpack
local function vxTime(raw, i)
    local year = le(raw, i, 2)
    local day = le(raw, i + 2, 2)
    local seconds = structUnpack("<f", raw, i + 4)
    local hours, minutes = byte(raw, i + 8, i + 9)
    if year < 1970 or year > 9999 or day < 1 or day > (isLeap(year) and 366 or 365) then return nil end
    if hours > 23 or minutes > 59 or not (seconds >= 0 and seconds < 61) then return nil end
    local y = year - 1970
    local days = y * 365 + math.floor((year - 1969) / 4) - math.floor((year - 1901) / 100) + math.floor((year - 1601) / 400)
    local whole = math.floor(seconds)
    local secs = (days + day - 1) * 86400 + hours * 3600 + minutes * 60 + whole
    return NSTime.new(secs, math.floor((seconds - whole) * 1e9 + 0.5))
end

local function addTime(tree, field, tvb, at)
    local t = vxTime(tvb:raw(at, 10), 1)
    if t then return add(tree, field, tvbRange(tvb, at, 10), t) end
    return add(tree, tvbRange(tvb, at, 10), "Time stamp holds no time: " .. tostring(tvbRange(tvb, at, 10):bytes()))
end

local UNSIGNED = { u8 = true, u16 = true, u32 = true, count = true }
local SIGNED = { i8 = true, i16 = true, i32 = true }

-- The layouts, prepared once at load rather than looked at again per record.
--
-- A value is decoded only when something reads it: a rule of its record type
-- (a count, a block size, a size rule, a string length) by its name, or, in a
-- type with items sized by the value before them ("sd", "xd"), every value by
-- its place. Consecutive plain scalar items (integers, floats, angles, bytes,
-- of a fixed width) form a run, walked as one step: the bytes left, the item
-- limit and a block's fixed size are checked once for the run, and each item
-- is added with the call made ready for it.
local leFloat = TvbRange.le_float
local PI = math.pi
local ADD_LE, ADD_PLAIN, ADD_DEGREES, ADD_TEXT = 1, 2, 3, 4
local HOW = { u8 = ADD_LE, u16 = ADD_LE, u32 = ADD_LE, u64 = ADD_LE, i8 = ADD_LE, i16 = ADD_LE, i32 = ADD_LE,
              i64 = ADD_LE, float = ADD_LE, double = ADD_LE, bytes = ADD_PLAIN, deg = ADD_DEGREES, string = ADD_TEXT }
-- The text of a string item wholly within `raw`: its bytes up to the first zero.
local function text(raw, pos, width)
    local t = strSub(raw, pos + 1, pos + width)
    if width == 1 then
        if t == "\0" then return "" end
        return t
    end
    local zero = strFind(t, "\0", 1, true)
    if zero then t = strSub(t, 1, zero - 1) end
    return t
end
local NOT_READ, READ_UNSIGNED, READ_SIGNED, READ_NONE = 0, 1, 2, 3
local SPECIAL = { constant = true, ["repeat"] = true, vector = true, vstring = true, ["7008PingData"] = true,
                  sd = true, xd = true }

local function typeOf(k) return tonumber(k:match("^[^/]*/[^/]*/([^/]*)")) end
local READ, BY_PLACE = {}, {}
local function reads(k, name)
    if name == nil or name == "" then return end
    local t = typeOf(k)
    READ[t] = READ[t] or {}
    READ[t][name] = true
end
for k, b in pairs(RB) do reads(k, b.count); reads(k, b.size) end
for k, v in pairs(VE) do
    reads(k, v.count); reads(k, v.second)
    if v.size then reads(k, v.size.src); reads(k, v.size.mul) end
    v.how = HOW[KIND[v.field]]
end
for k, s in pairs(VS) do reads(k, s.len) end
local function placeReads(k, items)
    for _, item in ipairs(items) do
        if item[2] == "sd" or item[2] == "xd" then BY_PLACE[typeOf(k)] = true end
    end
end
for k, l in pairs(L) do placeReads(k, l.items) end
for k, l in pairs(O) do placeReads(k, l.items) end
for k, b in pairs(RB) do placeReads(k, b.items) end

local function plain(item)
    local width = item[3]
    return item[5] and not SPECIAL[item[2]] and HOW[KIND[item[4]]] ~= nil and width >= 1 and width <= MAX_FIELD
end
local function prepare(k, items)
    local t = typeOf(k)
    local read, all = READ[t] or {}, BY_PLACE[t]
    local i = 1
    while i <= #items do
        local j = i
        local run = { n = 0, width = 0, field = {}, size = {}, how = {}, read = {}, name = {} }
        while j <= #items and plain(items[j]) do
            local item = items[j]
            local kind = KIND[item[4]]
            local n = run.n + 1
            run.n = n
            run.width = run.width + item[3]
            run.field[n], run.size[n], run.how[n], run.name[n] = LF[item[4]], item[3], HOW[kind], item[1]
            if not (all or read[item[1]]) then run.read[n] = NOT_READ
            elseif UNSIGNED[kind] then run.read[n] = READ_UNSIGNED
            elseif SIGNED[kind] then run.read[n] = READ_SIGNED
            else run.read[n] = READ_NONE end
            j = j + 1
        end
        if j > i then
            items[i].run = run
            i = j
        else
            i = i + 1
        end
    end
end
for k, l in pairs(L) do prepare(k, l.items) end
for k, l in pairs(O) do prepare(k, l.items) end
for k, b in pairs(RB) do prepare(k, b.items) end

-- One scalar item: adds its field and returns the value remembered under its name.
local function scalar(ctx, tree, fmt, width, fi, pos, number)
    local f = LF[fi]
    local kind = KIND[fi]
    if fmt == "constant" then
        if not ctx.bare then add(tree, f, tvbRange(ctx.tvb, ctx.base + math.min(pos, ctx.held), 0), number) end
        return number
    end
    local inRaw = width >= 1 and width <= 4 and pos + width <= ctx.rawLength
    if ctx.bare then
        -- No tree: only the value matters, for the counts and sizes that follow.
        if UNSIGNED[kind] then
            if inRaw then return s32(le(ctx.raw, pos + 1, width)) end
            return s32(range(ctx, pos, width):le_uint())
        elseif SIGNED[kind] then
            if inRaw and width ~= 3 then return leSigned(ctx.raw, pos + 1, width) end
            return range(ctx, pos, width):le_int()
        end
        return -1
    end
    local r = range(ctx, pos, width)
    if UNSIGNED[kind] then
        addLe(tree, f, r)
        if inRaw then return s32(le(ctx.raw, pos + 1, width)) end
        return s32(r:le_uint())
    elseif SIGNED[kind] then
        addLe(tree, f, r)
        if inRaw and width ~= 3 then return leSigned(ctx.raw, pos + 1, width) end
        return r:le_int()
    elseif kind == "u64" or kind == "i64" or kind == "float" or kind == "double" then
        addLe(tree, f, r)
    elseif kind == "deg" then
        add(tree, f, r, r:le_float() * 180 / math.pi)
    elseif kind == "time" then
        local t
        if pos + 10 <= ctx.rawLength then t = vxTime(ctx.raw, pos + 1) else t = vxTime(ctx.tvb:raw(ctx.base + pos, 10), 1) end
        if t then add(tree, f, r, t) else add(tree, r, F[fi][2] .. ": no time") end
    elseif kind == "string" then
        add(tree, f, r, (boundedText(ctx, pos, width)))
    else
        add(tree, f, r)
    end
    return -1
end

local walk

local function vectorKind(fi, width)
    local kind = F[fi][3]
    if kind == "u32" or kind == "i32" then return width == 1 or width == 2 or width == 4 end
    if kind == "u8" then return width == 1 end
    if kind == "u16" or kind == "i16" then return width == 2 end
    if kind == "i8" then return width == 1 end
    if kind == "u64" or kind == "i64" or kind == "double" then return width == 8 end
    if kind == "float" or kind == "deg" then return width == 4 end
    if kind == "time" then return width == 10 end
    return true
end

local function vector(ctx, tree, item, pos, limit, level)
    local v = VE[key(ctx, item[3])]
    local count = 0
    if v then
        local c = countLookup(ctx, v.count)
        local f = countLookup(ctx, v.second)
        count = applyRule(level == "record" and v.rule or v.blockRule, c, f)
    end
    local bare = ctx.bare
    local sub = tree
    if not bare then
        sub = add(tree, LF[item[4]], tvbRange(ctx.tvb, ctx.base + math.min(pos, ctx.held), 0),
                  math.max(0, math.min(count, TWO32 - 1)))
    end
    if not v or count <= 0 then return 0 end
    local width = v.width ~= 0 and v.width or sizeRule(ctx, v.size)
    if width > MAX_FIELD or width < 0 then return 0 end
    if width == 0 then
        if not bare then appendText(sub, " (no data)") end
        return 0
    end
    -- A vector takes what the record holds, its checksum bytes included, as the report does.
    local fits = math.floor((ctx.held - pos) / width)
    local n = math.min(count, math.max(fits, 0))
    if bare then
        -- The elements' values are not remembered: without a tree there is nothing to show.
        if n < count then exhausted(ctx, sub, pos + n * width) end
        return n * width
    end
    local typed = vectorKind(v.field, width)
    local shown = math.min(n, MAX_ELEMENTS)
    local how = typed and v.how
    if how then
        -- Plain elements: added as a run's items are (their values are not remembered).
        local tvb, raw, f, base, at = ctx.tvb, ctx.raw, LF[v.field], ctx.base, pos
        for _ = 1, shown do
            local r = tvbRange(tvb, base + at, width)
            if how == ADD_LE then addLe(sub, f, r)
            elseif how == ADD_PLAIN then add(sub, f, r)
            elseif how == ADD_TEXT then add(sub, f, r, text(raw, at, width))
            else add(sub, f, r, leFloat(r) * 180 / PI) end
            at = at + width
        end
    end
    for i = 0, how and -1 or shown - 1 do
        local at = pos + i * width
        if typed then
            scalar(ctx, sub, v.format, width, v.field, at)
        else
            add(sub, range(ctx, at, width), F[v.field][2] .. ": " .. tostring(range(ctx, at, width):bytes()))
        end
    end
    if n > shown then
        add(sub, range(ctx, pos + shown * width, (n - shown) * width), string.format("%d more elements", n - shown))
    end
    if n < count then exhausted(ctx, sub, pos + n * width) end
    setLen(sub, n * width)
    return n * width
end

-- The blocks of a repeat item; returns consumed, last, formatted, failed, ranOut, heldNothing.
local function blocks(ctx, tree, block, pos, count, checkEnd)
    local fixed = countLookup(ctx, block.size)
    local consumed, last, formatted = 0, 0, 0
    local shown = math.min(count, MAX_BLOCKS)
    -- The blocks' labels ("Beam 12"), made once per layout and number.
    local labels = block.labels
    if labels == nil then
        labels = {}
        block.labels = labels
    end
    for b = 0, shown - 1 do
        if ctx.cut then break end
        local at = pos + consumed
        local start = math.min(at, ctx.held)
        local bt = tree
        if not ctx.bare then
            local label = labels[b + 1]
            if label == nil then
                label = block.title .. " " .. (b + 1)
                labels[b + 1] = label
            end
            bt = add(tree, tvbRange(ctx.tvb, ctx.base + start, 0), label)
        end
        ctx.depth = ctx.depth + 1
        -- Blocks may read into the checksum bytes, as the report's blocks do: a
        -- count that claims too many blocks runs out only past the record's end.
        local p, e = walk(ctx, block.items, at, ctx.held, "block", bt, fixed)
        ctx.depth = ctx.depth - 1
        if e == "fixed" then last = fixed
        elseif e == "broken" then last = -1
        elseif e == "stopped" then last = p - at
        else last = fixed > 0 and fixed or p - at end
        if not ctx.bare then setLen(bt, math.max(0, math.min(at + math.max(last, 0), ctx.held) - start)) end
        formatted = formatted + 1
        if last < 0 then return consumed, last, formatted, true, false, false end
        consumed = consumed + last
        if checkEnd and pos + consumed > ctx.held then
            return consumed, last, formatted, false, true, false
        end
        if math.min(pos + consumed, ctx.held) <= math.min(at, ctx.held) and b + 1 < count then
            return consumed, last, formatted, false, false, true
        end
    end
    return consumed, last, formatted, false, false, false
end

local function repeatItem(ctx, tree, item, pos, level)
    local block = RB[key(ctx, item[3])]
    if not block then return pos, nil end
    local count = countLookup(ctx, block.count)
    if level == "record" and block.count == "" then return pos, nil end
    if level ~= "record" and ctx.depth > MAX_NESTING then
        exhausted(ctx, tree, pos)
        return pos, "stopped"
    end
    local start = math.min(pos, ctx.held)
    local sub = tree
    if not ctx.bare then sub = add(tree, LF[item[4]], tvbRange(ctx.tvb, ctx.base + start, 0), count) end
    local consumed, last, formatted, failed, ranOut, heldNothing =
        blocks(ctx, sub, block, pos, count, level == "record")
    local stop = nil
    pos = pos + consumed
    local skipped = count - formatted
    if ranOut then
        exhausted(ctx, sub, pos, "Ran out of data in repeating blocks")
        stop = "stopped"
    elseif not failed and not ctx.cut and skipped > 0 and (count > MAX_BLOCKS or heldNothing) then
        if not ctx.bare then
            add(sub, tvbRange(ctx.tvb, ctx.base + math.min(pos, ctx.held), 0), string.format("Plus %d more repeats", skipped))
        end
        pos = pos + skipped * math.max(last, 0)
        if pos > ctx.held then exhausted(ctx, sub, pos, "Insufficient data for the repeats") end
    end
    if not ctx.bare then setLen(sub, math.max(0, math.min(pos, ctx.held) - start)) end
    return pos, stop
end

-- One item outside a run: adds it and returns the position after it and, when
-- the walk ends there, how.
local function step(ctx, item, pos, limit, level, tree, fixed, start)
    ctx.items = ctx.items + 1
    if ctx.cut or ctx.items > MAX_ITEMS then
        if not ctx.cut then expertInfo(tree, X.cut, "The rest of this record is not shown") end
        ctx.cut = true
        return pos, "stopped"
    end
    local name, fmt, num = item[1], item[2], item[3]
    local width = 0
    if item[5] then width = math.max(num, 0) end
    if level == "block" then
        if fixed > 0 and pos - start + width > fixed then return pos, "fixed" end
        if width > MAX_FIELD then return pos, "stopped" end
    end
    if pos + width > limit then
        exhausted(ctx, tree, pos)
        return pos, "stopped"
    end
    local value = -1
    local stop = nil
    if fmt == "repeat" then
        pos, stop = repeatItem(ctx, tree, item, pos, level)
    elseif fmt == "vector" then
        pos = pos + vector(ctx, tree, item, pos, limit, level)
    elseif fmt == "vstring" then
        local vs = VS[key(ctx, num)]
        local length = vs and countLookup(ctx, vs.len) or 0
        if length == 0 then
            if level == "record" then
                expertInfo(tree, X.exhausted, "Bad String Length")
                return pos, "stopped"
            end
            return pos, nil
        end
        if pos < ctx.held and not ctx.bare then
            local text, n = boundedText(ctx, pos, length)
            add(tree, LF[item[4]], range(ctx, pos, n), text)
        end
        pos = pos + length
    elseif fmt == "7008PingData" then
        -- The beams and samples: shown as bytes under the item's name.
        local stopAt = limit
        if ctx.optionalAt and ctx.optionalAt > pos and ctx.optionalAt < stopAt then stopAt = ctx.optionalAt end
        if stopAt > pos and not ctx.bare then add(tree, LF[item[4]], range(ctx, pos, stopAt - pos)) end
        pos = math.max(pos, stopAt)
    elseif fmt == "sd" or fmt == "xd" then
        local n = ctx.nvals
        local back = num == 0 and 1 or num
        if back < 1 or back > n then return pos, level == "record" and "stopped" or "broken" end
        local length = VALS[n - back + 1]
        if length < 0 or pos + length > limit then
            exhausted(ctx, tree, pos)
            return pos, "stopped"
        end
        if ctx.bare then
            -- nothing to show
        elseif fmt == "sd" then
            local text, held = boundedText(ctx, pos, length)
            add(tree, LF[item[4]], range(ctx, pos, held), text)
        else
            add(tree, LF[item[4]], range(ctx, pos, length))
        end
        pos = pos + length
    else
        value = scalar(ctx, tree, fmt, width, item[4], pos, num)
        pos = pos + width
    end
    remember(ctx, name, value)
    return pos, stop
end

-- Walks `items` from `pos`; returns where it stopped and how:
-- "done", "stopped", "fixed" (a block passed its fixed size) or "broken"
-- (a back-reference before the first field).
walk = function(ctx, items, pos, limit, level, tree, fixed)
    local start = pos
    local i, count = 1, #items
    while i <= count do
        local item = items[i]
        local run = item.run
        if run and not ctx.cut and ctx.items + run.n <= MAX_ITEMS and pos + run.width <= limit
            and (level ~= "block" or fixed <= 0 or pos - start + run.width <= fixed) then
            -- Every item of the run passes the checks the one-by-one walk makes.
            ctx.items = ctx.items + run.n
            local tvb, base, raw, bare = ctx.tvb, ctx.base, ctx.raw, ctx.bare
            local field, size, how, read, name = run.field, run.size, run.how, run.read, run.name
            local nvals = ctx.nvals
            for j = 1, run.n do
                local w = size[j]
                if not bare then
                    local r = tvbRange(tvb, base + pos, w)
                    local h = how[j]
                    if h == ADD_LE then addLe(tree, field[j], r)
                    elseif h == ADD_PLAIN then add(tree, field[j], r)
                    elseif h == ADD_TEXT then add(tree, field[j], r, text(raw, pos, w))
                    else add(tree, field[j], r, leFloat(r) * 180 / PI) end
                end
                nvals = nvals + 1
                local rd = read[j]
                if rd ~= NOT_READ then
                    local value = -1
                    if rd == READ_UNSIGNED then value = s32(le(raw, pos + 1, w))
                    elseif rd == READ_SIGNED then value = leSigned(raw, pos + 1, w) end
                    VALS[nvals] = value
                    local nm = name[j]
                    if FIRST_AT[nm] ~= stamp then
                        FIRST_AT[nm] = stamp
                        FIRST[nm] = value
                    end
                end
                pos = pos + w
            end
            ctx.nvals = nvals
            i = i + run.n
        else
            local stop
            pos, stop = step(ctx, item, pos, limit, level, tree, fixed, start)
            if stop then return pos, stop end
            i = i + 1
        end
    end
    return pos, "done"
end

-- Layout keys ("5/1/7027"), made once per (protocol, version, type).
local LAYOUT_KEYS = {}
local function layoutKey(protocol, version, rtype)
    local byVersion = LAYOUT_KEYS[protocol]
    if byVersion == nil then byVersion = {}; LAYOUT_KEYS[protocol] = byVersion end
    local byType = byVersion[version]
    if byType == nil then byType = {}; byVersion[version] = byType end
    local k = byType[rtype]
    if k == nil then
        k = protocol .. "/" .. version .. "/" .. rtype
        byType[rtype] = k
        KEYS[k] = {}
    end
    return k
end

-- The byte sum of the first `n` bytes of `raw`, sixteen bytes a step into
-- locals (no table per chunk).
local function byteSum(raw, n)
    local sum, i = 0, 1
    for last = 16, n, 16 do
        local a, b, c, d, e, f, g, h, a2, b2, c2, d2, e2, f2, g2, h2 = byte(raw, last - 15, last)
        sum = sum + a + b + c + d + e + f + g + h + a2 + b2 + c2 + d2 + e2 + f2 + g2 + h2
        i = last + 1
    end
    for j = i, n do sum = sum + byte(raw, j) end
    return sum
end

-- The same sum made with signed bytes, from the unsigned one: each byte above
-- 127 counts 256 less. Counted by the pattern matcher, only for a checksum that
-- does not match the unsigned sum.
local function signedSum(raw, n, sum)
    local _, high = gsub(raw, "[\128-\255]", "")
    for j = n + 1, #raw do
        if byte(raw, j) > 127 then high = high - 1 end
    end
    return (sum - 256 * high) % TWO32
end

local PING_TYPES = { [7006] = true, [7007] = true, [7008] = true, [7009] = true, [7011] = true, [7012] = true }

-- The Info column of the packet being dissected, taken once a packet (startInfo).
local info

-- A record (or the first piece of one) held at `at`, `held` bytes long;
-- `whole` says whether all of it is there. `bare`: tshark built no tree
-- (a summary or statistics run): the record is walked for its expert infos
-- and columns without making an item that nobody would see.
local function dissectRecord(tvb, pinfo, tree, at, held, whole, bare)
    if held < HEADER_SIZE then
        expertInfo(tree, X.malformed, "Too short for a data record frame header")
        return nil
    end
    local hr = tvb:raw(at, HEADER_SIZE)
    local sync = le(hr, 5, 4)
    local size = le(hr, 9, 4)
    local rtype = le(hr, 33, 4)
    local device = le(hr, 37, 4)
    local enum = le(hr, 43, 2)
    local counter = le(hr, 45, 4)
    local flags = le(hr, 49, 2)
    local h, s = tree, tree
    if not bare then
        h = add(tree, H.header, tvbRange(tvb, at, HEADER_SIZE))
        addLe(h, H.protocol_version, tvbRange(tvb, at, 2))
        addLe(h, H.offset, tvbRange(tvb, at + 2, 2))
        s = addLe(h, H.sync, tvbRange(tvb, at + 4, 4))
    end
    if sync ~= 0x0000FFFF then
        expertInfo(s, X.malformed, "Sync pattern is not 0x0000FFFF")
        return nil
    end
    if not bare then
        addLe(h, H.size, tvbRange(tvb, at + 8, 4))
        addLe(h, H.optional_offset, tvbRange(tvb, at + 12, 4))
        addLe(h, H.optional_id, tvbRange(tvb, at + 16, 4))
        local tf = vxTime(hr, 21)
        if tf then add(h, H.time, tvbRange(tvb, at + 20, 10), tf) else add(h, H.time_raw, tvbRange(tvb, at + 20, 10)) end
        addLe(h, H.record_version, tvbRange(tvb, at + 30, 2))
        addLe(h, H.record_type, tvbRange(tvb, at + 32, 4))
        addLe(h, H.device, tvbRange(tvb, at + 36, 4))
        add(h, H.reserved, tvbRange(tvb, at + 40, 2))
        addLe(h, H.enumerator, tvbRange(tvb, at + 42, 2))
        addLe(h, H.counter, tvbRange(tvb, at + 44, 4))
        local flagBytes = tvbRange(tvb, at + 48, 2)
        addLe(addLe(h, H.flags, flagBytes), H.flags_checksum, flagBytes)
        add(h, H.reserved, tvbRange(tvb, at + 50, 2))
        add(h, H.reserved, tvbRange(tvb, at + 52, 4))
        addLe(h, H.fragments_total, tvbRange(tvb, at + 56, 4))
        addLe(h, H.fragment_number, tvbRange(tvb, at + 60, 4))
        local title = TITLES[rtype]
        appendText(tree, string.format(", %d%s, device %d/%d, #%d", rtype, title and (" " .. title) or "", device, enum,
                                       counter))
    end
    info:append(string.format(" %d #%d", rtype, counter))

    local protocol = le(hr, 1, 2)
    if protocol == 0 then protocol = 5 end
    local version = le(hr, 31, 2)
    if version == 0 then version = 1 end
    local offset = le(hr, 3, 2)
    if offset == 0 then offset = 60 end
    local dataStart = 4 + offset

    local length = held
    if whole then
        if size ~= held then
            expertInfo(h, X.malformed, string.format("Size field %d, bytes held %d", size, held))
        end
        length = math.min(size, held)
    end
    local hasSum = bit32.band(flags, 1) == 1 and whole and length >= HEADER_SIZE + 4
    local limit = hasSum and length - 4 or length

    if PING_TYPES[rtype] and dataStart + 12 <= limit and not bare then
        addLe(tree, H.ping, tvbRange(tvb, at + dataStart + 8, 4))
    end

    if not whole then
        if dataStart < held and not bare then add(tree, H.fragment, tvbRange(tvb, at + dataStart, held - dataStart)) end
        return rtype
    end

    local lk = layoutKey(protocol, version, rtype)
    -- The record's bytes as one string: its values are read from it, and its checksum summed over it.
    local raw = tvb:raw(at, length)
    local ctx = { tvb = tvb, base = at, held = length, limit = limit, nvals = 0, items = 0, depth = 0, cut = false,
                  troubles = 0, key = lk, keys = KEYS[lk], raw = raw, rawLength = length, bare = bare }
    stamp = stamp + 1
    local optionalOffset = le(hr, 13, 4)
    if optionalOffset ~= 0 and optionalOffset >= dataStart and optionalOffset < limit then ctx.optionalAt = optionalOffset end
    local layout = L[ctx.key]
    if dataStart > limit then
        expertInfo(h, X.malformed, "The data section begins past the record's end")
    elseif layout then
        local dt = tree
        if not bare then
            dt = add(tree, H.data, tvbRange(tvb, at + dataStart, 0))
            appendText(dt, ": " .. layout.title)
        end
        local pos = walk(ctx, layout.items, dataStart, limit, "record", dt, 0)
        if not bare then setLen(dt, math.max(0, math.min(pos, limit) - dataStart)) end
        local opt = O[ctx.key]
        if opt and optionalOffset ~= 0 then
            local from = ctx.optionalAt or pos
            if from < limit then
                local ot = tree
                if not bare then
                    ot = add(tree, H.optional, tvbRange(tvb, at + from, 0))
                    appendText(ot, ": " .. opt.title)
                end
                local p = walk(ctx, opt.items, from, limit, "record", ot, 0)
                if not bare then setLen(ot, math.max(0, math.min(p, limit) - from)) end
            end
        end
    elseif limit > dataStart and not bare then
        add(tree, tvbRange(tvb, at + dataStart, limit - dataStart), "Record data (no layout for this record type)")
    end

    if hasSum then
        local field = le(raw, length - 3, 4)
        local sum = byteSum(raw, length - 4)
        local calc = sum % TWO32
        local c, sumBytes = tree, nil
        if not bare then
            sumBytes = tvbRange(tvb, at + length - 4, 4)
            c = addLe(tree, H.checksum, sumBytes)
            setGenerated(add(c, H.checksum_calc, sumBytes, calc))
        end
        if field ~= calc then
            if signedSum(raw, length - 4, sum) == field then
                if not bare then setGenerated(add(c, H.checksum_signed, sumBytes, true)) end
                expertInfo(c, X.signed)
            else
                if not bare then setGenerated(add(c, H.checksum_bad, sumBytes, true)) end
                expertInfo(c, X.checksum)
            end
        end
    end
    return rtype
end

-- Records sent in several packets, collected per direction of a conversation
-- as the receiver does: a first packet starts a record, the others follow in
-- order, each full but the last; the record is whole when the last packet
-- brings the announced total size. What each packet came to is kept per
-- frame, so that a second pass (the window redrawing a packet) shows the same.
local MAX_RECORD = 64 * 1024 * 1024   -- records announced larger are refused
local MAX_PAYLOAD = 59964             -- payload of every fragment but the last
local assemblies, pieces = {}, {}
local pieceFrame, pieceOrdinal = -1, 0

function vx.init()
    assemblies, pieces = {}, {}
    pieceFrame, pieceOrdinal = -1, 0
end

local function collect(tvb, pinfo, at, payload)
    local total = tvbRange(tvb, at + 4, 4):le_uint()
    local totalSize = tvbRange(tvb, at + 16, 4):le_uint()
    local number = tvbRange(tvb, at + 20, 4):le_uint()
    local transmission = tvbRange(tvb, at + 10, 2):le_uint()
    local srcEnum = tvbRange(tvb, at + 30, 2):le_uint()
    local srcDevice = tvbRange(tvb, at + 32, 4):le_uint()
    local direction = tostring(pinfo.src) .. ":" .. pinfo.src_port .. ">" .. tostring(pinfo.dst) .. ":" .. pinfo.dst_port
    local a = assemblies[direction]
    if number == 0 then
        local status = a and "lost_new" or "held"
        assemblies[direction] = nil
        if totalSize == 0 or totalSize > MAX_RECORD or payload > totalSize then return { status = "refused" } end
        assemblies[direction] = { transmission = transmission, enum = srcEnum, device = srcDevice, total = totalSize,
                                  packets = 1, bytes = payload, parts = { tvb:raw(at + NET_SIZE, payload) } }
        return { status = status }
    end
    -- A capture may begin inside a record.
    if not a or a.transmission ~= transmission or a.enum ~= srcEnum or a.device ~= srcDevice then
        return { status = "held" }
    end
    if payload > a.total - a.bytes then
        assemblies[direction] = nil
        return { status = "lost_past", expected = a.total }
    end
    a.parts[#a.parts + 1] = tvb:raw(at + NET_SIZE, payload)
    a.packets = a.packets + 1
    a.bytes = a.bytes + payload
    if a.packets == total then
        assemblies[direction] = nil
        if a.bytes ~= a.total then return { status = "lost_size", length = a.bytes, expected = a.total } end
        return { status = "whole", data = table.concat(a.parts), length = a.bytes }
    elseif a.bytes ~= (number + 1) * MAX_PAYLOAD then
        assemblies[direction] = nil
        return { status = "lost_sequence" }
    end
    return { status = "held" }
end

-- Whether tshark builds no tree for this packet (a summary or statistics
-- run): the TreeItem then holds no item. Told by its text, the one place the
-- Lua binding shows it; asking for tree.text instead is not safe on every tree
-- a dissector is handed.
local function noTree(tree)
    return tostring(tree):find("has item=false", 1, true) ~= nil
end

-- One packet: a network frame and its piece of a record.
local function dissectPacket(tvb, pinfo, tree, at, available)
    local bare = noTree(tree)
    local sub, n = tree, tree
    if not bare then sub = add(tree, vx, tvbRange(tvb, at, available)) end
    if available < NET_SIZE then
        expertInfo(sub, X.malformed, "Too short for a network frame")
        return
    end
    if not bare then
        n = add(sub, H.net, tvbRange(tvb, at, NET_SIZE))
        addLe(n, H.net_version, tvbRange(tvb, at, 2))
        addLe(n, H.net_offset, tvbRange(tvb, at + 2, 2))
        addLe(n, H.net_total_packets, tvbRange(tvb, at + 4, 4))
        addLe(n, H.net_total_records, tvbRange(tvb, at + 8, 2))
        addLe(n, H.net_transmission, tvbRange(tvb, at + 10, 2))
        addLe(n, H.net_packet_size, tvbRange(tvb, at + 12, 4))
        addLe(n, H.net_total_size, tvbRange(tvb, at + 16, 4))
        addLe(n, H.net_packet_number, tvbRange(tvb, at + 20, 4))
        addLe(n, H.net_dest_device, tvbRange(tvb, at + 24, 4))
        addLe(n, H.net_dest_enum, tvbRange(tvb, at + 28, 2))
        addLe(n, H.net_src_enum, tvbRange(tvb, at + 30, 2))
        addLe(n, H.net_src_device, tvbRange(tvb, at + 32, 4))
    end
    local nr = tvb:raw(at, NET_SIZE)
    local packetSize = le(nr, 13, 4)
    local total = le(nr, 5, 4)
    local number = le(nr, 21, 4)
    local totalSize = le(nr, 17, 4)
    if packetSize <= NET_SIZE or packetSize > MAX_PACKET then
        expertInfo(n, X.malformed, string.format("Packet size %d out of range", packetSize))
        return
    end
    local payload = math.min(packetSize, available) - NET_SIZE
    if packetSize > available then
        expertInfo(n, X.malformed, string.format("Packet size %d, bytes held %d", packetSize, available))
    end
    if total > 1 then
        local text = string.format("Fragment %d of %d of a record of %d bytes", number + 1, total, totalSize)
        if not bare then appendText(sub, ", " .. text) end
        expertInfo(sub, X.fragment, text)
        info:append(string.format(" fragment %d/%d", number + 1, total))
        if payload > 0 and not bare then add(sub, H.fragment, tvbRange(tvb, at + NET_SIZE, payload)) end
        -- Only whole packets take part: one cut short cannot complete a record.
        if packetSize > available then return end
        if pinfo.number ~= pieceFrame then pieceFrame, pieceOrdinal = pinfo.number, 0 end
        local key = pieceFrame .. ":" .. pieceOrdinal
        pieceOrdinal = pieceOrdinal + 1
        local piece = pieces[key]
        if not piece then
            piece = collect(tvb, pinfo, at, payload)
            pieces[key] = piece
        end
        local status = piece.status
        if status == "lost_new" then
            expertInfo(sub, X.lost, "Record lost: a new record began before the last fragment of the one collected")
        elseif status == "lost_sequence" then
            expertInfo(sub, X.lost, "Record lost: a fragment is missing or out of sequence")
        elseif status == "lost_past" then
            expertInfo(sub, X.lostSize, string.format(
                "Record lost: the fragments run past the total size of %d bytes", piece.expected))
        elseif status == "lost_size" then
            expertInfo(sub, X.lostSize, string.format(
                "Record lost: the fragments hold %d bytes of a total size of %d", piece.length, piece.expected))
        elseif status == "refused" then
            expertInfo(n, X.malformed, string.format("Total size %d refused", totalSize))
        elseif status == "whole" then
            local record = ByteArray.new(piece.data, true):tvb("Reassembled Vx record")
            if not bare then setGenerated(add(sub, H.reassembled, tvbRange(record), piece.length)) end
            dissectRecord(record, pinfo, sub, 0, piece.length, true, bare)
        end
        return
    end
    if number ~= 0 then
        expertInfo(n, X.malformed, string.format("Packet number %d of a single packet", number))
    end
    local held = payload
    if totalSize < held then held = totalSize end
    dissectRecord(tvb, pinfo, sub, at + NET_SIZE, held, packetSize <= available, bare)
end

local function pduLength(tvb, pinfo, offset)
    -- A segment cut short by the capture's snapshot length: the rest is one piece.
    if tvbLen(tvb) < offset + 16 then return tvbRemaining(tvb, offset) end
    -- A packet size out of range is no packet: the rest of the segment is shown
    -- as one malformed piece and the next segment is read afresh. Asking the TCP
    -- reassembly for such a size would have it collect the rest of the
    -- connection into one piece, at a cost that grows with every segment.
    local size = le(tvbRaw(tvb, offset + 12, 4), 1, 4)
    if size <= NET_SIZE or size > MAX_PACKET then return tvbRemaining(tvb, offset) end
    return size
end

local function startInfo(pinfo)
    local cols = pinfo.cols
    cols.protocol = "Vx"
    info = cols.info
    if tostring(info):sub(1, 2) ~= "Vx" then cols.info = "Vx" end
end

local function pdu(tvb, pinfo, tree)
    startInfo(pinfo)
    local length = tvbLen(tvb)
    dissectPacket(tvb, pinfo, tree, 0, length)
    return length
end

local function isUdp(pinfo)
    return pinfo.port_type == 3
end

function vx.dissector(tvb, pinfo, tree)
    -- A segment cut short by the snapshot length cannot take part in the
    -- reassembly: its packets are shown as far as they were captured.
    local length = tvbLen(tvb)
    local truncated = length < tvbReportedLen(tvb)
    if not truncated and not isUdp(pinfo) then
        dissect_tcp_pdus(tvb, tree, NET_SIZE, pduLength, pdu, true)
        return length
    end
    -- UDP: the packets of one datagram, back to back.
    startInfo(pinfo)
    if truncated then
        expertInfo(add(tree, vx, tvbRange(tvb)), X.malformed, string.format(
            "Only %d of %d bytes captured", tvb:len(), tvb:reported_len()))
    end
    local at, left = 0, tvb:len()
    while left > 0 do
        if left < NET_SIZE then
            dissectPacket(tvb, pinfo, tree, at, left)
            break
        end
        local size = tvbRange(tvb, at + 12, 4):le_uint()
        dissectPacket(tvb, pinfo, tree, at, left)
        if size <= NET_SIZE or size > MAX_PACKET then break end
        at = at + size
        left = left - size
    end
    return tvb:len()
end

-- Whether a stream's first bytes parse as a network frame (and, for the
-- first packet of a record, the start of a data record frame).
local function looksLikeVx(tvb)
    if tvb:len() < NET_SIZE then return false end
    if tvbRange(tvb, 2, 2):le_uint() ~= NET_SIZE then return false end
    local total = tvbRange(tvb, 4, 4):le_uint()
    local size = tvbRange(tvb, 12, 4):le_uint()
    local totalSize = tvbRange(tvb, 16, 4):le_uint()
    local number = tvbRange(tvb, 20, 4):le_uint()
    if size <= NET_SIZE or size > MAX_PACKET then return false end
    if total < 1 or number >= total or totalSize < size - NET_SIZE then return false end
    if number == 0 then
        if tvb:len() < NET_SIZE + 8 then return false end
        if tvbRange(tvb, NET_SIZE + 4, 4):le_uint() ~= 0x0000FFFF then return false end
    end
    return true
end

local function heuristic(tvb, pinfo, tree)
    if not vx.prefs.heuristic or not looksLikeVx(tvb) then return false end
    pinfo.conversation = vx
    vx.dissector(tvb, pinfo, tree)
    return true
end

local tcpPorts = DissectorTable.get("tcp.port")
local udpPorts = DissectorTable.get("udp.port")
for _, port in ipairs(PORTS) do
    tcpPorts:add(port, vx)
    udpPorts:add(port, vx)
end
vx:register_heuristic("tcp", heuristic)
vx:register_heuristic("udp", heuristic)
