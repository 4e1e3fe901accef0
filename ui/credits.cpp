// The About box text, Windows-1250. The original Czech is in the comments.
#include "main_dlg.h"

const char g_szCredits[] =
    // Instalátor:
    "Instal\xE1tor:\n"
    "Autor: Jan Vzorov\xFD (jan.vzorovy@example.cz)\n"
    "\n"
    // Poděkování:
    "Pod\xECkov\xE1n\xED:\n"
    // Petru Ukázkovi za návod k programování pro Windows
    "Petru Uk\xE1zkovi za n\xE1vod k programov\xE1n\xED pro Windows\n"
    // Marii Příkladné za návod ke spouštění aplikací
    "Marii P\xF8\xEDkladn\xE9 za n\xE1vod ke spou\x9At\xECn\xED aplikac\xED\n"
    // tvůrcům vývojového prostředí Dílna, ve kterém instalátor vznikl
    "tv\xF9rc\xF9m v\xFDvojov\xE9ho prost\xF8" "ed\xED D\xEDlna, ve kter\xE9m instal\xE1tor vznikl\n"
    // za překladač, který toto prostředí používá
    "za p\xF8" "eklada\xE8, kter\xFD toto prost\xF8" "ed\xED pou\x9E\xEDv\xE1\n"
    // za kompresor Lis, díky kterému má instalátor snesitelnou velikost (...)
    "za kompresor Lis, d\xEDky kter\xE9mu m\xE1 instal\xE1tor snesitelnou velikost (www.example.net/lis)\n"
    // za program Balík, který z instalátoru dělá jediný soubor
    "za program Bal\xEDk, kter\xFD z instal\xE1toru d\xECl\xE1 jedin\xFD soubor\n"
    // a všem ostatním, kteří mi pomohli radou
    "a v\x9A" "em ostatn\xEDm, kte\xF8\xED mi pomohli radou\n"
    "\n"
    "--------------------------------------------------------------------------------------------------------------\n"
    "\n"
    "Mise:\n"
    "Autor: Jan Vzorov\xFD\n"
    // Grafik: žádný nebyl (proto na mapě chybí hory), dobrovolník je vítán
    "Grafik: \x9E\xE1" "dn\xFD nebyl (proto na map\xEC chyb\xED hory), dobrovoln\xEDk je v\xEDt\xE1n\n"
    // Rady ke skriptovacímu jazyku misí: Karel Modelový, podle zdrojových kódů původních misí
    "Rady ke skriptovac\xEDmu jazyku mis\xED: Karel Modelov\xFD, podle zdrojov\xFD" "ch k\xF3" "d\xF9 p\xF9vodn\xED" "ch mis\xED\n"
    "\n"
    "Pod\xECkov\xE1n\xED:\n"
    // firmě Morvane za hru a za její editor, paker a depaker
    "firm\xEC Morvane za hru a za jej\xED editor, paker a depaker\n"
    // tomu, kdo poskytl editor; nechce být jmenován, aby nebyl zahlcen žádostmi o něj.
    "tomu, kdo poskytl editor; nechce b\xFDt jmenov\xE1n, aby nebyl zahlcen \x9E\xE1" "dostmi o n\xECj.";
