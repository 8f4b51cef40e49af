#include "TListaDado.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const char kInvalid[] = "TListaDado: Invalid data number";

int Gftm(const TListaDado& lista, int k)
{
    return lista.Grupo(k) * 8 + lista.Ful(k) * 4 + lista.Typ(k) * 2 + lista.Min(k);
}

// The six records of a typical package: three installed, three display files.
void AddExample(TListaDado* lista)
{
    lista->Add("C:\\My App\\APP.EXE", "My App", 787563, 372581, 1, 1, 0, 0);
    lista->Add("C:\\My App\\APP.HLP", "Help", 698839, 135385, 1, 1, 0, 0);
    lista->Add("C:\\My App\\CTLS32.DLL", "_", 211488, 86737, 0, 1, 0, 0);
    lista->Add("c:\\Windows\\TEMP\\kelvo.bmp", "_", 25404, 20299, 0, 0, 0, 0);
    lista->Add("c:\\Windows\\TEMP\\pres.txt", "_", 317, 295, 0, 0, 0, 0);
    lista->Add("c:\\Windows\\TEMP\\licen.txt", "_", 10047, 5163, 0, 0, 0, 0);
}

TEST(TListaDado, KeepsRecordsInTheOrderAdded)
{
    TListaDado lista;
    EXPECT_EQ(lista.NDados(), 0);
    AddExample(&lista);
    ASSERT_EQ(lista.NDados(), 6);
    const int expected[] = {12, 12, 4, 0, 0, 0};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(Gftm(lista, k), expected[k]) << k;
    EXPECT_STREQ(lista.Arq(0), "C:\\My App\\APP.EXE");
    EXPECT_STREQ(lista.Nome(1), "Help");
    EXPECT_STREQ(lista.Arq(5), "c:\\Windows\\TEMP\\licen.txt");
    EXPECT_EQ(lista.TamOrig(2), 211488u);
    EXPECT_EQ(lista.TamComp(3), 20299u);
}

TEST(TListaDado, CopiesTheCallersStringsAndFullSizes)
{
    TListaDado lista;
    char arq[32] = "first";
    char nome[32] = "title";
    lista.Add(arq, nome, 0xFFFFFFFFu, 0, 0, 0, 0, 0);
    std::snprintf(arq, sizeof arq, "second");
    std::snprintf(nome, sizeof nome, "other");
    lista.Add(arq, nome, 1, 0xFFFFFFFFu, 0, 0, 0, 0);
    EXPECT_STREQ(lista.Arq(0), "first");
    EXPECT_STREQ(lista.Nome(0), "title");
    EXPECT_STREQ(lista.Arq(1), "second");
    EXPECT_EQ(lista.TamOrig(0), 0xFFFFFFFFu);
    EXPECT_EQ(lista.TamComp(1), 0xFFFFFFFFu);
}

TEST(TListaDado, AnyNonZeroFlagSetsIt)
{
    TListaDado lista;
    lista.Add("a", "_", 0, 0, 5, -1, 2, 100);
    lista.Add("b", "_", 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(lista.Grupo(0), 1);
    EXPECT_EQ(lista.Ful(0), 1);
    EXPECT_EQ(lista.Typ(0), 1);
    EXPECT_EQ(lista.Min(0), 1);
    EXPECT_EQ(Gftm(lista, 1), 0);
}

TEST(TListaDado, ChangingOneFlagLeavesTheOthers)
{
    TListaDado lista;
    lista.Add("a", "_", 0, 0, 1, 1, 1, 1);
    lista.Add("b", "_", 0, 0, 1, 1, 1, 1);
    lista.Ful(0, 0);
    EXPECT_EQ(Gftm(lista, 0), 8 + 2 + 1);
    EXPECT_EQ(Gftm(lista, 1), 15);
    lista.Grupo(0, 0);
    lista.Min(0, 0);
    EXPECT_EQ(Gftm(lista, 0), 2);
    lista.Typ(0, 0);
    EXPECT_EQ(Gftm(lista, 0), 0);
    lista.Min(0, 7);
    lista.Grupo(0, -3);
    EXPECT_EQ(Gftm(lista, 0), 9);
    lista.Ful(1, 1);  // setting a set flag keeps it set
    EXPECT_EQ(Gftm(lista, 1), 15);
}

TEST(TListaDado, ChangesTitleAndSizesOfOneRecordOnly)
{
    TListaDado lista;
    AddExample(&lista);
    lista.Nome(1, "Manual of the application");
    lista.TamOrig(1, 42);
    lista.TamComp(1, 7);
    EXPECT_STREQ(lista.Nome(1), "Manual of the application");
    EXPECT_STREQ(lista.Nome(0), "My App");
    EXPECT_STREQ(lista.Nome(2), "_");
    EXPECT_STREQ(lista.Arq(1), "C:\\My App\\APP.HLP");
    EXPECT_EQ(lista.TamOrig(1), 42u);
    EXPECT_EQ(lista.TamComp(1), 7u);
    EXPECT_EQ(lista.TamOrig(0), 787563u);
    EXPECT_EQ(lista.TamComp(2), 86737u);
}

TEST(TListaDado, StringsStayInPlaceWhileOtherRecordsComeAndGo)
{
    TListaDado lista;
    lista.Add("x", "y", 0, 0, 0, 0, 0, 0);
    lista.Add("short", "t", 0, 0, 0, 0, 0, 0);
    const char* arq = lista.Arq(1);
    const char* nome = lista.Nome(1);
    for (int i = 0; i < 1000; ++i)
        lista.Add("more", "records", 0, 0, 0, 0, 0, 0);
    lista.Del(1);
    lista.Nome(10, "changed");
    EXPECT_STREQ(arq, "short");
    EXPECT_STREQ(nome, "t");
}

TEST(TListaDado, DelCountsFromOneAndKeepsTheOrder)
{
    TListaDado lista;
    AddExample(&lista);
    lista.Del(1);
    ASSERT_EQ(lista.NDados(), 5);
    EXPECT_STREQ(lista.Nome(0), "Help");
    lista.Del(lista.NDados());
    ASSERT_EQ(lista.NDados(), 4);
    EXPECT_STREQ(lista.Arq(3), "c:\\Windows\\TEMP\\pres.txt");
    lista.Del(2);
    ASSERT_EQ(lista.NDados(), 3);
    EXPECT_STREQ(lista.Nome(0), "Help");
    EXPECT_STREQ(lista.Arq(1), "c:\\Windows\\TEMP\\kelvo.bmp");
    EXPECT_STREQ(lista.Arq(2), "c:\\Windows\\TEMP\\pres.txt");
    EXPECT_EQ(Gftm(lista, 0), 12);
    EXPECT_EQ(Gftm(lista, 1), 0);
}

TEST(TListaDadoDeathTest, ReadingOutsideTheListEnds)
{
    TListaDado empty;
    EXPECT_EXIT(empty.Arq(0), ::testing::ExitedWithCode(1), kInvalid);

    TListaDado lista;
    AddExample(&lista);
    EXPECT_EXIT(lista.Nome(6), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Arq(-1), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.TamOrig(6), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Grupo(6), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Min(6), ::testing::ExitedWithCode(1), kInvalid);
}

TEST(TListaDadoDeathTest, ChangingOutsideTheListEnds)
{
    TListaDado lista;
    AddExample(&lista);
    EXPECT_EXIT(lista.Nome(6, "x"), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.TamOrig(-1, 1), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Ful(-1, 0), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Min(6, 0), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Del(0), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Del(7), ::testing::ExitedWithCode(1), kInvalid);
    EXPECT_EXIT(lista.Exit(), ::testing::ExitedWithCode(1), kInvalid);
}

}  // namespace
