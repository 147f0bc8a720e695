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
local unknown_id = ProtoExpert.new("canbox.id.unknown", "Identifier the protocol does not name",
                                   expert.group.UNDECODED, expert.severity.NOTE)
canbox.experts = {bad_checksum, cut_frame, unknown_id}

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

-- Every value the catalogue names, in fields named as `canservice signals` names them, decoded as
-- the plugin decodes the box's messages; and the head unit's commands.
local function field(name, kind, unit)
    local label = unit and (name .. " (" .. unit .. ")") or name
    local own = name:match("^canbox%.(.*)$") -- not a catalogue value: named by the protocol
    local pf = ProtoField[kind](own and name or "canbox." .. name, own or label)
    f[own or name] = pf
    return pf
end
local bool_fields = {
    "CanBox.Climate.IsOn", "Vehicle.Cabin.HVAC.IsAirConditioningActive", "Vehicle.Cabin.HVAC.IsRecirculationActive",
    "CanBox.Climate.IsAuto", "CanBox.Climate.IsDual", "Vehicle.Cabin.HVAC.IsRearDefrosterActive",
    "CanBox.Climate.IsManualMode", "Vehicle.Cabin.HVAC.IsFrontDefrosterActive", "CanBox.Climate.IsAcMax",
    "CanBox.Climate.IsGlassHeatActive", "CanBox.Climate.IsSteeringWheelHeatActive", "CanBox.Climate.IsRearClimateOn",
    "CanBox.ParkingAssist.IsOn",
}
for _, n in ipairs(bool_fields) do field(n, "bool") end
for _, n in ipairs({"CanBox.Speed.DisplayUnit", "CanBox.OutsideTemperature.DisplayUnit", "CanBox.Version",
                    "CanBox.Climate.DisplayUnit", "Vehicle.Cabin.Infotainment.HMI.DistanceUnit",
                    "Vehicle.Cabin.Infotainment.HMI.TemperatureUnit", "CanBox.AmbientLight.ColorName",
                    "CanBox.AmbientLight.ColorRgb", "CanBox.Key.Action", "CanBox.Climate.DriverLimit",
                    "CanBox.Climate.PassengerLimit", "canbox.trip_unit",
                    "canbox.text_kind", "canbox.text", "canbox.setting", "canbox.source_status"}) do
    field(n, "string")
end
for _, n in ipairs({"CanBox.Tyre.AlertTypeCode", "CanBox.Tyre.StateCode", "CanBox.EmergencyCall.StateCode",
                    "CanBox.Climate.FanLevel", "CanBox.Climate.WindModeCode", "CanBox.Climate.ProfileCode",
                    "CanBox.Climate.AirCleaningCode", "CanBox.Climate.SeatHeat.DriverLevel",
                    "CanBox.Climate.SeatHeat.PassengerLevel", "CanBox.Climate.Ventilation.DriverLevel",
                    "CanBox.Climate.Ventilation.PassengerLevel", "CanBox.Mileage.UnitFlag", "CanBox.Key",
                    "CanBox.AmbientLight.ColorIndex", "CanBox.AmbientLight.ColorCode", "canbox.requested",
                    "canbox.setting_value", "canbox.radio_band", "canbox.radio_frequency"}) do
    field(n, "uint32")
end
field("CanBox.Climate.RearTemperature", "double", "Celsius")
for i = 0, 5 do field("CanBox.Fuel.Field" .. i, "double") end
field("CanBox.Mileage.Total", "double")
field("CanBox.Mileage.Second", "double")
field("canbox.start", "bool")
local trip_items = {
    [0x10] = {"CanBox.Trip.Distance1", "W16", "a"}, [0x20] = {"CanBox.Trip.Distance1", "W32", "a"},
    [0x21] = {"CanBox.Trip.Distance2", "W32", "a"}, [0x22] = {"CanBox.Trip.Distance3", "W32", "a"},
    [0x30] = {"CanBox.Trip.Consumption1", "W16/10", "b"}, [0x31] = {"CanBox.Trip.Consumption2", "W16/10", "b"},
    [0x32] = {"CanBox.Trip.Consumption3", "W16/10", "b"}, [0x61] = {"CanBox.Trip.Consumption4", "W16/10", "b"},
    [0x40] = {"CanBox.Trip.Speed1", "W16/10", "c"}, [0x41] = {"CanBox.Trip.Speed2", "W16/10", "c"},
    [0x42] = {"CanBox.Trip.Speed3", "W16/10", "c"}, [0x50] = {"CanBox.Trip.Time1", "W24", "t"},
    [0x51] = {"CanBox.Trip.Time2", "W24", "t"}, [0x52] = {"CanBox.Trip.Time3", "W24", "t"},
}
for _, item in pairs(trip_items) do if not f[item[1]] then field(item[1], "double") end end
local colours = {{1, "White", "#ffffff"}, {2, "Red", "#ff2020"}, {3, "Orange", "#ff8c00"}, {4, "Yellow", "#ffd700"},
                 {5, "Green", "#32cd32"}, {6, "Cyan", "#00ced1"}, {7, "Blue", "#1e64ff"}, {8, "Purple", "#9932cc"},
                 {9, "Pink", "#ff69b4"}, {10, "Ice blue", "#a0d8ef"}}
local wind_modes = {[0] = 0, 2, 1, 3, 7, 5, 4, 6}
local settings = {[0xAC] = "climate key", [0xAE] = "climate temperature level", [0x05] = "unit entry 0",
                  [0xA3] = "distance unit", [0xA0] = "temperature unit", [0x07] = "unit entry 5",
                  [0xBD] = "ambient colour", [0xB1] = "vehicle setting 0xb1", [0x00] = "vehicle setting 0x00",
                  [0x04] = "vehicle setting 0x04"}

local function u(data, i) return i < data:len() and data(i, 1):uint() or 0 end
local function bitset(v, b) return bit.band(bit.rshift(v, b), 1) == 1 end
local function tenths(hi, lo) return (hi * 256 + lo) / 10 end
local function celsius_of(t, fahrenheit)
    if fahrenheit then return math.floor((t - 32) * 5 / 9 * 100 + 0.5) / 100 end
    return t
end

local function decode_climate(data, t)
    local b1, b4, b6, b7 = u(data, 1), u(data, 4), u(data, 6), u(data, 7)
    for i, spec in ipairs({{0, 7, false}, {0, 6, true}, {0, 5, true}, {0, 3, true}, {0, 2, true}, {0, 0, true},
                           {4, 3, true}, {4, 1, true}, {4, 2, true}, {2, 3, true}, {4, 7, true}, {3, 7, true}}) do
        local on = bitset(u(data, spec[1]), spec[2])
        t:add(f[bool_fields[i]], data(spec[1], 1), on == spec[3])
    end
    t:add(f["CanBox.Climate.FanLevel"], data(1, 1), bit.band(b1, 7))
    t:add(f["CanBox.Climate.WindModeCode"], data(1, 1), wind_modes[bit.rshift(b1, 5)])
    local fahrenheit = bitset(b4, 6)
    if bitset(b4, 3) then -- the setting shows in manual mode only
        for _, side in ipairs({{2, f.left, "CanBox.Climate.DriverLimit"}, {6, f.right, "CanBox.Climate.PassengerLimit"}}) do
            local v, limit = temperature(u(data, side[1]), fahrenheit)
            if v then t:add(side[2], data(side[1], 1), v) else t:add(f[side[3]], data(side[1], 1), limit) end
        end
    end
    local rear = bit.band(b4, 0x50) ~= 0 and celsius_of(b7 + 59, true) or (b7 - 1) * 0.5 + 16
    t:add(f["CanBox.Climate.RearTemperature"], data(7, 1), rear)
    t:add(f["CanBox.Climate.DisplayUnit"], data(4, 1), fahrenheit and "°F" or "°C")
    t:add(f["Vehicle.Cabin.Infotainment.HMI.TemperatureUnit"], data(4, 1), fahrenheit and "F" or "C")
    t:add(f["CanBox.Climate.SeatHeat.DriverLevel"], data(7, 1), bit.band(b7, 3))
    t:add(f["CanBox.Climate.SeatHeat.PassengerLevel"], data(7, 1), bit.band(bit.rshift(b7, 2), 3))
    t:add(f["CanBox.Climate.Ventilation.DriverLevel"], data(7, 1), bit.band(bit.rshift(b7, 4), 3))
    t:add(f["CanBox.Climate.Ventilation.PassengerLevel"], data(7, 1), bit.rshift(b7, 6))
    t:add(f["CanBox.Climate.ProfileCode"], data(6, 1), bit.band(b6, 3))
end

local function decode_trip(data, t)
    local item = trip_items[u(data, 0)]
    if not item then return end
    local b1, b2, b3, b4, b5 = u(data, 1), u(data, 2), u(data, 3), u(data, 4), u(data, 5)
    local v
    if item[2] == "W16" then v = b3 * 256 + b2
    elseif item[2] == "W16/10" then v = (b3 * 256 + b2) / 10
    elseif item[2] == "W24" then v = b3 * 65536 + b2 * 256 + b1
    else
        v = ((b5 * 256 + b4) * 256 + b3) * 256 + b2
        if v >= 2147483648 then v = v - 4294967296 end
        v = v >= 0 and math.floor(v / 10) or -math.floor(-v / 10)
    end
    local unit = ({a = bitset(b1, 0) and "mi" or "km", c = bitset(b1, 0) and "mph" or "km/h", t = "min",
                   b = ({[0] = "L/100km", "km/L", "mpg", "mpg"})[bit.band(b1, 3)]})[item[3]]
    t:add(f[item[1]], data(0, 6), v):append_text(" " .. unit)
    t:add(f.trip_unit, data(1, 1), unit)
end

local function decode_command(id, data, t)
    local n = data:len()
    if id == 0x81 and n >= 1 then
        t:add(f.start, data(0, 1), u(data, 0) == 1)
    elseif id == 0x90 and n >= 1 then
        local wanted = u(data, 0)
        t:add(f.requested, data(0, 1), wanted):append_text(" (" .. (from_box[wanted] or "no such message") .. ")")
    elseif id == 0xC6 and n >= 2 then
        t:add(f.setting, data(0, 1), settings[u(data, 0)] or string.format("0x%02x", u(data, 0)))
        t:add(f.setting_value, data(1, 1), u(data, 1))
    elseif id == 0xC0 and n >= 2 then
        t:add(f.source_status, data(0, 2), string.format("%02x %02x", u(data, 0), u(data, 1)))
    elseif id == 0xC2 and n >= 3 then
        t:add(f.radio_band, data(0, 1), u(data, 0))
        t:add(f.radio_frequency, data(1, 2), u(data, 2) * 256 + u(data, 1))
    elseif id == 0xCB and n >= 2 then
        t:add(f.text_kind, data(1, 1), u(data, 1) == 3 and "song" or u(data, 1) == 5 and "album" or "other")
        local len = 0 -- UTF-16 code units, low byte first, zero-filled
        while 2 + len + 1 < n and (u(data, 2 + len) ~= 0 or u(data, 3 + len) ~= 0) do len = len + 2 end
        local text = len > 0 and data(2, len):le_ustring() or ""
        t:add(f.text, data(2, n - 2), text)
    end
end

local function decode(id, data, tree)
    local n = data:len()
    if id == 0xF6 and n == 3 then
        local v = (data(1, 1):uint() * 256 + data(0, 1):uint()) / 16
        local miles = bit.band(data(2, 1):uint(), 1) == 1
        if miles then v = math.floor(v * 1.609344 * 1000 + 0.5) / 1000 end
        tree:add(f.speed, data(0, 3), v)
        tree:add(f["CanBox.Speed.DisplayUnit"], data(2, 1), miles and "mph" or "km/h")
    elseif id == 0x41 and n >= 1 and data(0, 1):uint() == 3 then
        local hi = n > 1 and data(1, 1):uint() or 0
        local lo = n > 2 and data(2, 1):uint() or 0
        tree:add(f.rpm, data(0, n), hi * 256 + lo)
    elseif id == 0x24 and n == 5 then
        local b = data(0, 1):uint()
        for _, d in ipairs(doors) do
            tree:add(door_fields[d[1]], data(0, 1), bit.band(bit.rshift(b, d[1]), 1) == 1)
        end
        if bitset(u(data, 2), 7) then
            tree:add(f["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"], data(2, 1), "MILES")
        elseif not bitset(u(data, 1), 3) then
            tree:add(f["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"], data(1, 1), "KILOMETERS")
        end
    elseif id == 0x29 and n == 8 then
        decode_climate(data, tree)
    elseif id == 0xFF and n == 2 then
        tree:add(f["CanBox.Climate.AirCleaningCode"], data(0, 1), u(data, 0))
    elseif (id == 0x23 and n == 6) or (id == 0x22 and n == 4) then
        local fields = step_fields[id == 0x23 and "Front" or "Rear"]
        for i = 1, 4 do
            local s = step(data(i - 1, 1):uint())
            if s then tree:add(fields[i], data(i - 1, 1), s) end
        end
    elseif id == 0x25 and n == 2 then
        tree:add(f["CanBox.ParkingAssist.IsOn"], data(0, 1), bitset(u(data, 0), 7))
    elseif id == 0x30 then
        local len = 0 -- the text ends at the first zero byte, if there is one
        while len < n and u(data, len) ~= 0 do len = len + 1 end
        tree:add(f["CanBox.Version"], data(0, n), len > 0 and data(0, len):string(ENC_UTF_8) or "")
    elseif (id == 0x20 and n == 2) or (id == 0x11 and n == 10) then
        local at = id == 0x20 and 0 or 2
        tree:add(f["CanBox.Key"], data(at, 1), u(data, at))
        local state = u(data, at + 1)
        tree:add(f["CanBox.Key.Action"], data(at + 1, 1), state == 1 and "press" or state == 0 and "release" or "ignored")
    elseif id == 0x65 and n == 2 then
        tree:add(f["CanBox.Tyre.AlertTypeCode"], data(1, 1), u(data, 1))
        tree:add(f["CanBox.Tyre.StateCode"], data(0, 1), u(data, 0))
    elseif id == 0x95 and n == 2 then
        tree:add(f["CanBox.EmergencyCall.StateCode"], data(0, 1), u(data, 0))
    elseif id == 0x68 and n == 2 then
        tree:add(f["CanBox.OutsideTemperature.DisplayUnit"], data(0, 2), "°F")
    elseif id == 0x50 and n == 6 then
        decode_trip(data, tree)
    elseif id == 0x16 and n == 17 then
        tree:add(f["CanBox.Fuel.Field0"], data(0, 1), u(data, 0))
        tree:add(f["CanBox.Fuel.Field1"], data(1, 2), tenths(u(data, 1), u(data, 2)))
    elseif id == 0x17 and n == 17 then
        tree:add(f["CanBox.Fuel.Field2"], data(3, 2), tenths(u(data, 3), u(data, 4)))
        tree:add(f["CanBox.Fuel.Field3"], data(3, 2), tenths(u(data, 3), u(data, 4)))
        tree:add(f["CanBox.Fuel.Field4"], data(8, 2), tenths(u(data, 8), u(data, 9)))
        tree:add(f["CanBox.Fuel.Field5"], data(13, 2), tenths(u(data, 13), u(data, 14)))
    elseif id == 0x09 and n >= 9 then
        tree:add(f["CanBox.Mileage.Total"], data(4, 3), ((u(data, 4) * 256 + u(data, 5)) * 256 + u(data, 6)) / 10)
        tree:add(f["CanBox.Mileage.Second"], data(6, 3), ((u(data, 6) * 256 + u(data, 7)) * 256 + u(data, 8)) / 10)
    elseif id == 0x67 and n == 2 then
        tree:add(f["CanBox.Mileage.UnitFlag"], data(1, 1), bit.band(u(data, 1), 4))
    elseif id == 0x48 and n == 5 then
        local code = u(data, 0)
        tree:add(f["CanBox.AmbientLight.ColorCode"], data(0, 1), code)
        for i, c in ipairs(colours) do
            if c[1] == code then
                tree:add(f["CanBox.AmbientLight.ColorIndex"], data(0, 1), i - 1)
                tree:add(f["CanBox.AmbientLight.ColorName"], data(0, 1), c[2])
                tree:add(f["CanBox.AmbientLight.ColorRgb"], data(0, 1), c[3])
            end
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
    pinfo.cols.src = inbound and "box" or "head unit"
    pinfo.cols.dst = inbound and "head unit" or "box"
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
    local named = t:add(f.name, tvb(1, 1), name)
    if not names[id] then named:add_proto_expert_info(unknown_id) end
    t:add(f.length, tvb(2, 1))
    if n > 0 then t:add(f.data, tvb(3, n)) end
    local c = t:add(f.checksum, tvb(3 + n, 1))
    t:add(f.checksum_good, tvb(3 + n, 1), good)
    if not good then
        c:add_proto_expert_info(bad_checksum, string.format("Checksum 0x%02x, expected 0x%02x", tvb(3 + n, 1):uint(), expected))
    end
    pinfo.cols.info = words or (name .. (good and "" or " [CHECKSUM ERROR]"))
    if good and n > 0 then
        if inbound then decode(id, tvb(3, n), t) else decode_command(id, tvb(3, n), t) end
    end
    return len
end

DissectorTable.get("wtap_encap"):add(wtap.USER0, canbox)
