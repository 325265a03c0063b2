// Translation between Windows ANSI (code page 1252) and HP Roman-8.
#pragma once

extern unsigned char ansi_to_roman8[256];
extern unsigned char roman8_to_ansi[256];

// Builds both tables; called once at library attach.
void init_charset_tables();
