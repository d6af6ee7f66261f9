//
//  The choice of implementation at program start and the ejector that forwards to it.
//
#include "session/ejector/CIMAPIEjector.h"
#include "session/ejector/CIMAPIEjectorImpV1.h"
#include "session/ejector/CIMAPIEjectorImpV2.h"
#include "session/ejector/tests/DiscTestFixture.h"

#include <memory>

namespace {

using testbed::DiscMedia;

class EjectorSelection : public DiscTest {
protected:
    void TearDown() override
    {
        CIMAPIEjectorFactory::DeleteInstance();
        DiscTest::TearDown();
    }
};

TEST_F(EjectorSelection, PrefersTheSecondGenerationThenTheFirst)
{
    enum class Chosen { None, First, Second };
    struct Case {
        bool first;
        bool second;
        Chosen chosen;
    };
    const Case cases[] = {
        {true, true, Chosen::Second},
        {false, true, Chosen::Second},
        {true, false, Chosen::First},
        {false, false, Chosen::None},
    };
    for (const Case& c : cases) {
        discs.firstGenerationRegistered = c.first;
        discs.secondGenerationRegistered = c.second;
        EXPECT_EQ(CanCreateEjectorImplementation(), c.chosen != Chosen::None);
        EXPECT_EQ(SelectEjectorImplementation(), c.chosen != Chosen::None);
        CIMAPIEjectorFactory* factory = CIMAPIEjectorFactory::GetInstance();
        CIMAPIEjectorImp* made = factory->CreateImp();
        EXPECT_EQ(dynamic_cast<CIMAPIEjectorImpV2*>(made) != nullptr, c.chosen == Chosen::Second);
        EXPECT_EQ(dynamic_cast<CIMAPIEjectorImpV1*>(made) != nullptr, c.chosen == Chosen::First);
        if (made)
            factory->DestroyImp(made);
        CIMAPIEjectorFactory::DeleteInstance();
    }
    EXPECT_EQ(discs.LiveObjects(), 0);
}

TEST_F(EjectorSelection, EjectAllReachesEveryDriveThroughTheChosenImplementation)
{
    discs.secondGenerationRegistered = false;
    testbed::DiscRecorder& z = discs.AddRecorder(L'Z', DiscMedia::Blank);
    ASSERT_TRUE(SelectEjectorImplementation());
    {
        CIMAPIEjector ejector;
        ASSERT_TRUE(ejector.HasImplementation());
        ASSERT_EQ(ejector.Initialize(), S_OK);
        DWORD pending = 0;
        ejector.EjectAll(pending);
        EXPECT_EQ(pending, 0u);
        ejector.Uninitialize();
    }
    EXPECT_EQ(z.ejected, 1u);
    EXPECT_EQ(discs.LiveObjects(), 0);
}

TEST_F(EjectorSelection, AnEjectorWithoutImplementationDoesNothing)
{
    discs.firstGenerationRegistered = false;
    discs.secondGenerationRegistered = false;
    testbed::DiscRecorder& d = discs.AddRecorder(L'D', DiscMedia::Blank);
    EXPECT_FALSE(SelectEjectorImplementation());
    CIMAPIEjector ejector;
    EXPECT_FALSE(ejector.HasImplementation());
    EXPECT_TRUE(FAILED(ejector.Initialize()));
    DWORD pending = 0;
    ejector.EjectAll(pending);
    ejector.Uninitialize();
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(d.ejectAttempts, 0u);
}

}  // namespace
