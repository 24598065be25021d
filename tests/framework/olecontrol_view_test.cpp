// fw::COleControl's drawing (framework/olecontrol_view.cpp): IViewObject2
// paints into the bounds it is given and reports the extent.
#include "olecontrol_fixture.h"

namespace {

using namespace oletest;

TEST_F(OleControlTest, DrawPaintsIntoTheBounds)
{
    auto ctl = MakeControl();
    auto view = Query<IViewObject2>(Unk(ctl));
    const int w = 120, h = 80;
    BITMAPINFO bi = {};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(dc && bmp && bits);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all = {0, 0, w, h};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, red);
    DeleteObject(red);

    RECTL bounds = {10, 10, 110, 70};
    ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
    GdiFlush();
    auto pixel = [&](int x, int y) { return static_cast<const DWORD*>(bits)[y * w + x] & 0xFFFFFF; };
    for (POINT p : {POINT{11, 11}, POINT{108, 11}, POINT{11, 68}, POINT{108, 68}, POINT{60, 40}})
        EXPECT_EQ(0xFFFFFFu, pixel(p.x, p.y)) << "white expected at " << p.x << "," << p.y;
    EXPECT_EQ(0xFF0000u, pixel(5, 5)) << "outside the bounds stays as it was";
    bool outline = false;
    for (int x = 10; x < 16; ++x)
        outline = outline || pixel(x, 40) != 0xFFFFFF;
    EXPECT_TRUE(outline) << "the ellipse's left edge on row 40";
    EXPECT_EQ(1, ctl->draws);
    EXPECT_EQ(10, ctl->lastBounds.left);
    EXPECT_EQ(70, ctl->lastBounds.bottom);

    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0))
        << "no bounds while not windowless";
    EXPECT_EQ(1, ctl->draws) << "failed calls draw nothing";
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);

    SIZEL viewSize = {-1, -1}, oleSize = {};
    ASSERT_EQ(S_OK, view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &viewSize));
    ASSERT_EQ(S_OK, ctl->GetExtent(DVASPECT_CONTENT, &oleSize));
    EXPECT_EQ(oleSize.cx, viewSize.cx);
    SIZEL untouched = {-7, -7};
    EXPECT_EQ(DV_E_DVASPECT, view->GetExtent(DVASPECT_ICON, -1, nullptr, &untouched));
    EXPECT_EQ(-7, untouched.cx);
}

}  // namespace
