-- Wireshark dissector for the CAN box's serial protocol, as `canservice export` and
-- `canservice monitor --pcapng` write it: link type USER0, one packet per frame, acknowledgement
-- byte or run of noise, the direction in the packet's flags (in: from the box).
--
-- Frame: 2E, identifier, length, data, checksum (the complement of the 8-bit sum of identifier,
-- length and data). Decoded values carry the names of `canservice signals`.
--
-- Install: copy this file into ~/.local/lib/wireshark/plugins/ (Wireshark's personal Lua
-- plugins folder), or run  tshark -X lua_script:canbox.lua -r capture.pcapng
-- Filters: canbox.id == 0x29, canbox.checksum_good == 0, canbox.kind == "noise",
-- canbox.Vehicle.Speed > 30

local canbox = Proto("canbox", "CAN box serial protocol")

local from_box = {
    [0x09] = "time and mileage", [0x11] = "car key", [0x16] = "fuel consumption",
    [0x17] = "fuel history", [0x20] = "steering-wheel key", [0x22] = "rear radar",
    [0x23] = "front radar", [0x24] = "doors and units", [0x25] = "parking assist",
    [0x29] = "climate", [0x2F] = "steering angle", [0x30] = "version", [0x40] = "report",
    [0x41] = "vehicle information", [0x48] = "vehicle settings", [0x50] = "driving data",
    [0x65] = "tyre alert", [0x67] = "light settings", [0x68] = "outside temperature",
    [0x85] = "run mode", [0x95] = "emergency call", [0xF2] = "car enable", [0xF3] = "car lamp",
    [0xF6] = "speed", [0xFF] = "air cleaning",
}
local to_box = {
    [0x6C] = "radar start", [0x81] = "start/stop", [0x90] = "data request", [0xC0] = "source status",
    [0xC2] = "radio", [0xC6] = "setting", [0xCB] = "track text",
}

local f = canbox.fields
f.kind = ProtoField.string("canbox.kind", "Kind")
f.direction = ProtoField.string("canbox.direction", "Direction")
f.header = ProtoField.uint8("canbox.header", "Header", base.HEX)
f.id = ProtoField.uint8("canbox.id", "Identifier", base.HEX)
f.name = ProtoField.string("canbox.name", "Message")
f.length = ProtoField.uint8("canbox.length", "Length", base.DEC)
f.data = ProtoField.bytes("canbox.data", "Data")
f.checksum = ProtoField.uint8("canbox.checksum", "Checksum", base.HEX)
f.checksum_good = ProtoField.bool("canbox.checksum_good", "Checksum good")
f.ack = ProtoField.uint8("canbox.ack", "Acknowledgement", base.HEX, {[0xFF] = "accepted", [0xF0] = "refused"})
f.noise = ProtoField.bytes("canbox.noise", "Noise")
f.cut = ProtoField.bytes("canbox.cut", "Cut frame")
f.speed = ProtoField.double("canbox.Vehicle.Speed", "Vehicle.Speed (km/h)")
f.rpm = ProtoField.double("canbox.Vehicle.Powertrain.CombustionEngine.Speed",
                          "Vehicle.Powertrain.CombustionEngine.Speed (rpm)")
local doors = {
    {2, "Vehicle.Body.Hood.IsOpen"}, {3, "Vehicle.Body.Trunk.Rear.IsOpen"},
    {4, "Vehicle.Cabin.Door.Row2.DriverSide.IsOpen"}, {5, "Vehicle.Cabin.Door.Row2.PassengerSide.IsOpen"},
    {6, "Vehicle.Cabin.Door.Row1.DriverSide.IsOpen"}, {7, "Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen"},
}
local door_fields = {}
for _, d in ipairs(doors) do
    door_fields[d[1]] = ProtoField.bool("canbox." .. d[2], d[2])
    f["door" .. d[1]] = door_fields[d[1]]
end
f.left = ProtoField.double("canbox.Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature",
                           "Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature (Celsius)")
f.right = ProtoField.double("canbox.Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature",
                            "Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature (Celsius)")
f.limit = ProtoField.string("canbox.CanBox.Climate.Limit", "LO or HI")
local sensors = {"Left", "MiddleLeft", "MiddleRight", "Right"}
local step_fields = {}
for _, endname in ipairs({"Front", "Rear"}) do
    step_fields[endname] = {}
    for i, place in ipairs(sensors) do
        local name = "CanBox.Parking." .. endname .. "." .. place .. ".Step"
        step_fields[endname][i] = ProtoField.uint8("canbox." .. name, name)
        f["step" .. endname .. i] = step_fields[endname][i]
    end
end

local bad_checksum = ProtoExpert.new("canbox.checksum.bad", "Checksum does not match",
                                     expert.group.CHECKSUM, expert.severity.WARN)
local cut_frame = ProtoExpert.new("canbox.cut.expert", "Frame cut off before its end",
                                  expert.group.MALFORMED, expert.severity.WARN)
canbox.experts = {bad_checksum, cut_frame}

-- The box's raw distance 1 to 31 as the display's step; anything else is nothing in range.
local function step(raw)
    if raw == 0 or raw >= 32 then return nil end
    if raw == 1 then return 1 end
    if raw >= 26 then return 7 end
    return 2 + math.floor((raw - 2) / 6)
end

local function temperature(index, fahrenheit)
    if index == 30 or index == 119 then return nil, "LO" end
    if index == 60 or index == 171 then return nil, "HI" end
    local t
    if index <= 79 then t = 16.0 + (index - 32) * 0.5 else t = 60.0 + (index - 120) * 0.5 end
    if fahrenheit then t = math.floor((t - 32) * 5 / 9 * 100 + 0.5) / 100 end
    return t, nil
end

local function decode(id, data, tree)
    local n = data:len()
    if id == 0xF6 and n == 3 then
        local v = (data(1, 1):uint() * 256 + data(0, 1):uint()) / 16
        if bit.band(data(2, 1):uint(), 1) == 1 then v = math.floor(v * 1.609344 * 1000 + 0.5) / 1000 end
        tree:add(f.speed, data(0, 3), v)
    elseif id == 0x41 and n >= 1 and data(0, 1):uint() == 3 then
        local hi = n > 1 and data(1, 1):uint() or 0
        local lo = n > 2 and data(2, 1):uint() or 0
        tree:add(f.rpm, data(0, n), hi * 256 + lo)
    elseif id == 0x24 and n == 5 then
        local b = data(0, 1):uint()
        for _, d in ipairs(doors) do
            tree:add(door_fields[d[1]], data(0, 1), bit.band(bit.rshift(b, d[1]), 1) == 1)
        end
    elseif id == 0x29 and n == 8 then
        local flags = data(4, 1):uint()
        if bit.band(flags, 0x08) ~= 0 then -- the setting shows in manual mode only
            local fahrenheit = bit.band(flags, 0x40) ~= 0
            for _, side in ipairs({{2, f.left}, {6, f.right}}) do
                local t, limit = temperature(data(side[1], 1):uint(), fahrenheit)
                if t then tree:add(side[2], data(side[1], 1), t) else tree:add(f.limit, data(side[1], 1), limit) end
            end
        end
    elseif (id == 0x23 and n == 6) or (id == 0x22 and n == 4) then
        local fields = step_fields[id == 0x23 and "Front" or "Rear"]
        for i = 1, 4 do
            local s = step(data(i - 1, 1):uint())
            if s then tree:add(fields[i], data(i - 1, 1), s) end
        end
    end
end

-- The tool writes what the head unit's receiver did with bytes that could be taken for something
-- else into the packet's comment, as "kind: words": noise that looks like an acknowledgement, a
-- frame dropped by the receive time-out, a frame completed long after it was cut.
local packet_comment = Field.new("frame.comment")
local verdicts = {noise = true, ack = true, timeout = true, cut = true, frame = true, ["bad-checksum"] = true}

local function verdict()
    local c = packet_comment()
    if not c then return nil end
    local kind, words = tostring(c.value):match("^([%a-]+): (.*)$")
    if kind and verdicts[kind] then return kind, words end
    return nil
end

function canbox.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "CANBOX"
    local inbound = pinfo.p2p_dir == P2P_DIR_RECV
    local t = tree:add(canbox, tvb())
    t:add(f.direction, inbound and "in" or "out")
    local len = tvb:len()
    local kind, words = verdict()

    if kind == "timeout" or kind == "cut" or (kind == "noise" and len > 0) or (kind == "ack" and len == 1) then
        t:add(f.kind, kind)
        if kind == "noise" then t:add(f.noise, tvb()) end
        if kind == "ack" then t:add(f.ack, tvb(0, 1)) end
        if len > 0 and (kind == "timeout" or kind == "cut") then
            t:add_proto_expert_info(cut_frame)
            t:add(f.cut, tvb())
        end
        pinfo.cols.info = words
        return len
    end
    if len == 0 then
        t:add(f.kind, "empty")
        return 0
    end
    local first = tvb(0, 1):uint()

    if len == 1 and (first == 0xFF or first == 0xF0) then
        t:add(f.kind, first == 0xFF and "ack" or "nak")
        t:add(f.ack, tvb(0, 1))
        pinfo.cols.info = first == 0xFF and "acknowledgement" or "refusal (checksum error)"
        return len
    end
    if first ~= 0x2E then
        t:add(f.kind, "noise")
        t:add(f.noise, tvb())
        pinfo.cols.info = "noise, " .. len .. " bytes"
        return len
    end
    if len < 4 or len < 4 + tvb(2, 1):uint() then
        t:add(f.kind, "cut")
        t:add_proto_expert_info(cut_frame)
        t:add(f.cut, tvb())
        pinfo.cols.info = "cut frame, " .. len .. " bytes"
        return len
    end
    local id = tvb(1, 1):uint()
    local n = tvb(2, 1):uint()
    local names = inbound and from_box or to_box
    local name = names[id] or string.format("unknown 0x%02x", id)
    local sum = 0
    for i = 1, n + 2 do sum = sum + tvb(i, 1):uint() end
    local expected = bit.band(bit.bnot(sum), 0xFF)
    local good = expected == tvb(3 + n, 1):uint()
    t:add(f.kind, good and "frame" or "bad-checksum")
    t:add(f.header, tvb(0, 1))
    t:add(f.id, tvb(1, 1))
    t:add(f.name, tvb(1, 1), name)
    t:add(f.length, tvb(2, 1))
    if n > 0 then t:add(f.data, tvb(3, n)) end
    local c = t:add(f.checksum, tvb(3 + n, 1))
    t:add(f.checksum_good, tvb(3 + n, 1), good)
    if not good then
        c:add_proto_expert_info(bad_checksum, string.format("Checksum 0x%02x, expected 0x%02x", tvb(3 + n, 1):uint(), expected))
    end
    pinfo.cols.info = words or (name .. (good and "" or " [CHECKSUM ERROR]"))
    if good and inbound and n > 0 then decode(id, tvb(3, n), t) end
    return len
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, canbox)
