#pragma once
//
//  The small factory family that hands the ejector its implementation: a creator makes and
//  destroys implementations, a factory owns one creator, a process-wide singleton holds the
//  factory, and a class interface holds the implementation it took from the factory for as
//  long as it lives.
//
#include <memory>
#include <mutex>

template <typename Imp>
class CImpCreator {
public:
    using ImpType = Imp;
    virtual ~CImpCreator() = default;
    virtual Imp* Create() = 0;
    virtual void Destroy(Imp* implementation) { delete implementation; }
};

template <typename Creator>
class CImpFactory {
public:
    using ImpType = typename Creator::ImpType;

    virtual ~CImpFactory() = default;
    // A new implementation from the creator; none while there is no creator.
    virtual ImpType* CreateImp() { return creator_ ? creator_->Create() : nullptr; }
    virtual void ReleaseCreator() { creator_.reset(); }

    // Takes the creator; a former one is deleted.
    void SetCreator(std::unique_ptr<Creator> creator) { creator_ = std::move(creator); }
    bool HasCreator() const { return creator_ != nullptr; }
    void DestroyImp(ImpType* implementation)
    {
        if (creator_) {
            creator_->Destroy(implementation);
        } else {
            delete implementation;
        }
    }

private:
    std::unique_ptr<Creator> creator_;
};

namespace DesignPatterns {

// One instance per process, made on first use and deleted by DeleteInstance.
template <typename T>
class Singleton {
public:
    virtual ~Singleton() = default;

    static T* GetInstance()
    {
        std::lock_guard<std::mutex> hold(Guard());
        if (!Holder()) {
            Holder().reset(new T());
        }
        return Holder().get();
    }
    static void DeleteInstance()
    {
        std::unique_ptr<T> instance;
        {
            std::lock_guard<std::mutex> hold(Guard());
            instance = std::move(Holder());
        }
    }

private:
    static std::unique_ptr<T>& Holder()
    {
        static std::unique_ptr<T> instance;
        return instance;
    }
    static std::mutex& Guard()
    {
        static std::mutex guard;
        return guard;
    }
};

}  // namespace DesignPatterns

template <typename Imp>
class CClassInterface {
public:
    CClassInterface() = default;
    CClassInterface(const CClassInterface&) = delete;
    CClassInterface& operator=(const CClassInterface&) = delete;
    virtual ~CClassInterface() = default;

    Imp* Get() const { return implementation_; }

protected:
    Imp* implementation_ = nullptr;
};

// Takes its implementation from the factory singleton when built and hands it back when
// destroyed.
template <typename Factory>
class CClassInterfaceFactoryTemplate : public CClassInterface<typename Factory::ImpType> {
public:
    CClassInterfaceFactoryTemplate() { this->implementation_ = Factory::GetInstance()->CreateImp(); }
    ~CClassInterfaceFactoryTemplate() override
    {
        if (this->implementation_) {
            Factory::GetInstance()->DestroyImp(this->implementation_);
        }
    }
};
