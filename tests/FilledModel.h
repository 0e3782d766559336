#pragma once

#include "config/MuxConfig.h"

// The one filled model of the configuration and file tests: neighbouring values differ, so that
// a field written to or read from the wrong place shows; a route carries a top-bit NAME and a
// Modbus entry has empty items.
inline TMuxSettings FilledSettings() {
    TMuxSettings s;
    s.BaudIn = {0, 1, 2, 3, 4, 5, 0, 1};
    s.BaudOut1 = 2;
    s.BaudOut2 = 3;
    s.BaudOut4 = 4;
    s.PrioTimeout = 5;
    s.TalkerID = {"GP", "II", "SD", "VW", "WI", "HC", "AI", "YX", "EC"};
    s.UniqueID = "CVZ0001";
    s.RouteOut = {0x8103, 0x00FF, 0x0A00, 0x0001};
    s.ModeIn = {6, 1, 2, 3, 4, 5, 0, 1};
    s.ModeOut = {0, 1, 2, 1};
    s.PrioIn = {1, 2, 3, 4, 10, 11, 12, 14};
    s.PrioN2K = 10;
    s.Options = 0x00000005;
    s.Conversions = 0x00001FFF;
    s.N2KOptions = 0xC002ABCD;
    s.DevFunc = {1, 0, 2, 3, 4, 5, 6, 7, 8, 33};
    s.SrcAddr = {0, 1, 2, 3, 4, 5, 6, 7, 8, 251};
    s.DevInst = {0, 1, 2, 3, 4, 5, 6, 7, 8, 255};
    return s;
}

inline void FillModel(TMuxConfig& c) {
    static_cast<TMuxSettings&>(c) = FilledSettings();
    c.Routes = {TRoute{"GPRMC", 0x0003, 0, 0x41, 0, 255},
                TRoute{"GPGGA", 0x8004, 5, 0x5F, 0x8000000000ABCDEF, 255}};
    c.ModbusMaps = {TModbus{1, 100, 'H', 'F', 1, 2, 'C', 'C', "ENGINE"},
                    TModbus{1, 100, 'H', 'I', 0, 0, 0, 0, ""}};
}
